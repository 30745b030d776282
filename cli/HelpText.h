// What --help shows around the options; the man pages are made from it.
#ifndef TILTWISE_CLI_HELPTEXT_H_
#define TILTWISE_CLI_HELPTEXT_H_

namespace cli {

extern const char kDescription[];
extern const char kFooter[];  // below the commands: password, times, causes, exit, examples
extern const char kQueryFooter[];
extern const char kSetFooter[];
extern const char kRestoreFooter[];
extern const char kListHelp[];  // what a list may look like, for query and set
extern const char kSeeMain[];

}  // namespace cli

#endif  // TILTWISE_CLI_HELPTEXT_H_
