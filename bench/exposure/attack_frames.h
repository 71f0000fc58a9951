// The bytes a stranger sends to a replication server before logging in, made with the protocol
// code: frames left unfinished, frames declaring more than any limit, payloads that inflate far
// beyond what they declare, and error reports written to look like lines of the server's log.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

namespace tramolin::bench {

// "type;length;": the head of a frame whose encoded text is `declared` characters long.
std::string FrameHead(std::uint8_t type, std::size_t declared);

// An authentication frame declaring `declared` encoded characters of which only `sent` follow.
std::string UnfinishedFrame(std::size_t declared, std::size_t sent);

// An authentication frame whose payload declares a text of 0 bytes, while its zlib stream
// (level 9, deflated chunk by chunk) inflates to `zeros` zero bytes after the length.
std::string ZeroBombFrame(std::uint64_t zeros);

// ZeroBombFrame(zeros) kept in `file`: read from there when it exists, built and written there
// otherwise (a bomb of gigabytes takes half a minute to deflate).
std::string CachedZeroBombFrame(std::uint64_t zeros, const std::filesystem::path& file);

// An error report (pkBlad, code 5) of about `size` characters: lines ended by CR LF, one of which
// begins with `forged_line`, a line as the server's own log would stamp it.
std::string ForgedErrorReportFrame(std::size_t size, std::string_view forged_line);

}  // namespace tramolin::bench
