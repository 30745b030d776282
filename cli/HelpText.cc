#include "cli/HelpText.h"

namespace cli {

const char kDescription[] =
    "Reads and sets the Flip and Mirror orientation of network cameras, one or many at once.";

const char kFooter[] =
    "Password: --password-file FILE, --password-stdin, the environment variable\n"
    "TILTWISE_PASSWORD, or a prompt when standard input is a terminal; never as an argument.\n"
    "Sites with several: --credentials FILE, lines user:password. Logins are numbered, the\n"
    "password sources' first (login 1, when given), then the file's lines; a list's login\n"
    "column names the one to try first; the others follow, each at most once per camera,\n"
    "and a 403, 423 or 429 ends the tries. A list's auth column \"digest\" sends Digest only.\n"
    "A camera sent Basic credentials that asks for Digest (MD5 or SHA-256) gets the same\n"
    "password in Digest, and no more Basic for the rest of the run.\n"
    "\n"
    "Times take a unit: 500ms, 3s, 2m (a bare number: --timeout in milliseconds, the others\n"
    "in seconds).\n"
    "\n"
    "Each failure names its cause (refused, timed-out, deadline, bad-address, unauthorized,\n"
    "bad-status, values-missing, no-succeed, chip-type, not-applied, stopped, ...): first in\n"
    "the table, \"cause\" in JSON; on a terminal the failures are listed again after it.\n"
    "\n"
    "Exit status: 0 every camera succeeded, 1 a camera failed, 2 usage error,\n"
    "130 stopped by Ctrl-C or SIGTERM (cameras under way finish; the rest are not started;\n"
    "a second one stops at once and reports the cameras under way as interrupted).\n"
    "\n"
    "Examples:\n"
    "  $ tiltwise-cli query --password-file pw.txt 127.0.1.20 127.0.1.21:8080\n"
    "  $ tiltwise-cli set --flip on --password-file pw.txt 127.0.1.20\n"
    "  $ export TILTWISE_PASSWORD=...\n"
    "  $ tiltwise-cli scan 127.0.1.0/24 --csv > site.csv\n"
    "  $ tiltwise-cli set --flip off --input site.csv --backup before.jsonl --verify --json > "
    "result.jsonl\n"
    "  $ tiltwise-cli set --input result.jsonl --only-failed --verify\n"
    "  $ tiltwise-cli restore before.jsonl --verify\n"
    "\n"
    "Each command has its own --help and man page: tiltwise-cli-query(1), tiltwise-cli-set(1),\n"
    "tiltwise-cli-restore(1), tiltwise-cli-scan(1).";

const char kSetFooter[] =
    "set first reads each camera, keeps what --flip/--mirror (or the list) do not name, and\n"
    "leaves alone the cameras already as wanted (the camera restarts after every set).\n"
    "--dry-run only shows current against wanted; --force sends the set without reading first\n"
    "(so both values must be given); --verify waits for each restart and reads the values\n"
    "back, without holding a job slot while it waits. Per-camera flip/mirror values in the\n"
    "--input list win over --flip/--mirror.\n"
    "A camera whose Flip and Mirror cannot both be read (outcome not-read: the reply lacks a\n"
    "value or was cut off by the deadline) is a failure and gets no set command.\n"
    "\n"
    "Examples:\n"
    "  $ tiltwise-cli set --flip on --password-file pw.txt 127.0.1.20\n"
    "  $ tiltwise-cli set --flip on --mirror off --input site.csv --dry-run\n"
    "  $ tiltwise-cli set --mirror off --input site.csv --backup before.jsonl --verify --json > "
    "result.jsonl\n"
    "  $ tiltwise-cli set --mirror off --input result.jsonl --only-failed --verify";

const char kRestoreFooter[] =
    "REPORT is the JSON lines output (--json) of an earlier set, or its --backup file, also\n"
    "one cut short by Ctrl-C or a crash. Every camera whose set went out, whatever came back,\n"
    "is read first; of the values that set changed, those the camera still holds as it wrote\n"
    "them are put back (a value changed since by someone else stays). A camera with nothing\n"
    "left to put back is already-restored and gets no set. The report holds address, port and\n"
    "user; the password comes as for set.\n"
    "\n"
    "Examples:\n"
    "  $ tiltwise-cli restore before.jsonl --verify\n"
    "  $ tiltwise-cli restore result.jsonl --dry-run";

const char kQueryFooter[] =
    "Examples:\n"
    "  $ tiltwise-cli query --password-file pw.txt 127.0.1.20 127.0.1.21:8080\n"
    "  $ tiltwise-cli query --input site.csv --json > now.jsonl";

const char kListHelp[] =
    "A list (--input) is CSV with a header line naming host (or address), port, user, flip,\n"
    "mirror, name, location, in any order, as a spreadsheet saves it: separated by commas,\n"
    "semicolons or tabs (a \"sep=;\" first line is read too), with or without a byte-order\n"
    "mark and CRLF. Rows of empty cells and lines starting with '#' are skipped; unquoted\n"
    "cells lose their blanks, quoted ones keep them. Columns of your own (notes, serial, zone)\n"
    "are carried into the report; a near miss of a wanted column (mirorr) is an error. Every\n"
    "--csv and --json report is a list as it is.";

const char kSeeMain[] = "See tiltwise-cli --help for the password, exit statuses and examples.";

}  // namespace cli
