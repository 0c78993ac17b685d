// The host's terminal and arguments. Every text inside the host is UTF-8; on
// Windows the arguments are read as UTF-16 from the system and text is
// written to a console as UTF-16 (to a file or pipe as UTF-8 bytes).
#pragma once

#include <string>
#include <vector>

namespace host {

// The arguments after the program name, as UTF-8.
std::vector<std::string> ProgramArguments(int argc, char** argv);

// On Windows: stdout and stderr in binary mode, so that a line end is
// written as the host writes it (CSV's CR LF stays CR LF). Call first.
void PrepareOutput();

void WriteOut(const std::string& utf8);
void WriteErr(const std::string& utf8);
// One line on stderr, "runvane: " before it and a line end after it.
void Complain(const std::string& utf8);

bool StdoutIsTerminal();
bool StderrIsTerminal();

// The language of the user's locale is Chinese (LC_ALL, LC_MESSAGES, LANG;
// on Windows the user's interface language).
bool LocaleIsChinese();

}  // namespace host
