// The line an error that nothing else caught leaves in the log, naming who raised it.
#pragma once

#include <exception>
#include <string>
#include <string_view>

namespace tramolin {

// "Application.Exception <sender> <class of the error> "<message>"(0)".
std::string ApplicationExceptionText(std::string_view sender, const std::exception& error);

}  // namespace tramolin
