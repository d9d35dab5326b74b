// Windows command lines: the C run-time's rules for splitting one into arguments.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace umbra::shell {

// The arguments a Windows program sees for 'commandLine'. Blanks (space, tab) separate them.
// The first is the program name: quotes group, nothing escapes. In the others a quoted part
// may hold blanks, "" inside quotes is a literal quote, and backslashes are literal unless they
// precede a quote: 2n of them then give n and the quote groups, 2n+1 give n and a literal quote.
std::vector<std::u16string> SplitCommandLine(std::u16string_view commandLine);

}  // namespace umbra::shell
