#include "protocol/packet_types.h"

#include <array>

#include "util/cp1250.h"

namespace tramolin {
namespace {

template <std::size_t N>
std::string_view TableText(const std::array<std::string_view, N>& table, int code) {
  if (code < 0 || static_cast<std::size_t>(code) >= N) return {};
  return table[static_cast<std::size_t>(code)];
}

constexpr std::array<std::string_view, 2> kConnectionResults = {"OK", "nieznany host"};

const std::array<std::string_view, 12> kVerificationResults = {
    "OK"_cp,
    "błąd autoryzacji"_cp,
    "brak połączenia serwer-baza danych"_cp,
    "różne bazy dnaych"_cp,
    "",
    "baza jest w trakcie replikacji"_cp,
    "baza nie jest aktywną kopią replikacji"_cp,
    "różne wersje baz danych"_cp,
    "rózne wersje programu Tramolin"_cp,
    "błąd autoryzacji - nieznana odpowiedź serwera"_cp,
    "niezgodność wersji struktury bazy głównej"_cp,
    "niezgodność obsługiwanych wersji struktury bazy"_cp,
};

const std::array<std::string_view, 6> kServerSideErrors = {
    " wystąpił nieznany błąd: "_cp,
    " wystąpił błąd w czasie przygotowywania danych: "_cp,
    " wystąpił błąd w czasie importowania danych: "_cp,
    " wystąpił błąd w czasie usuwania wpisów z dziennika zmian: "_cp,
    " wystąpił błąd w czasie odbierania danych (przepełnienie)"_cp,
    " wystąpił błąd w czasie importowania danych: "_cp,
};

const std::array<std::string_view, 6> kClientSideErrors = {
    "Na serwerze wystąpił nieznany błąd: "_cp,
    "Na serwerze wystąpił błąd w czasie przygotowywania danych: "_cp,
    "Na serwerze wystąpił błąd w czasie importowania danych: "_cp,
    "Na serwerze wystąpił błąd w czasie usuwania wpisów z dziennika zmian: "_cp,
    "Na serwerze wystąpił błąd w czasie odbierania danych (przepełnienie)"_cp,
    "Na serwerze wystąpił błąd w czasie importowania danych: "_cp,
};

}  // namespace

std::string_view ConnectionResultText(int code) { return TableText(kConnectionResults, code); }

std::string_view VerificationResultText(int code) { return TableText(kVerificationResults, code); }

bool IsKnownErrorCode(int code) { return code >= kErrorUnknown && code <= kErrorImportLocked; }

std::string_view ServerSideErrorText(int code) { return TableText(kServerSideErrors, code); }

std::string_view ClientSideErrorText(int code) { return TableText(kClientSideErrors, code); }

std::string_view LogForwardingOnReply() { return "Nasłuch włączony"_cp; }

std::string_view LogForwardingOffReply() { return "Nasłuch wyłączony"_cp; }

std::string_view UnsupportedCommandReply() { return "polecenie nieobsługiwane"_cp; }

}  // namespace tramolin
