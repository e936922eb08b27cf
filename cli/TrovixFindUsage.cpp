#include "cli/TrovixFindOptions.h"

QString trovixFindUsage()
{
    return QStringLiteral(R"(Usage: trovix-find [OPTIONS] [PATTERN]

Finds files and folders below a folder by walking it, with no index, and
prints them as each folder is finished.

PATTERN is read like Trovix's search field:
  ab*cd     names beginning with "ab" and ending with "cd"
  *.txt     names ending with ".txt"
  abc*      names beginning with "abc"
  anything else (a*b, abc\*, a*b*c, *)   names containing the whole text
Names are compared ignoring the case of ASCII letters; accented letters
match whether they are stored composed or decomposed.

Where to search:
  -s, --scope DIR        the folder to search (default: the current folder)
  --in DIR               search only these sub-folders of the scope (repeatable;
                         relative paths are read from the scope)
  --skip DIR             skip these sub-folders (repeatable, same reading)
  --trash                also search inside trash folders
  --skip-name NAME       enter no folder named exactly NAME, e.g. .git (repeatable)
  --no-excluded          do not skip the folders excluded in Trovix's preferences,
                         nor the folder names it skips

Rules (repeatable; an entry must pass all of them):
  --name OP:TEXT         OP: contains, not-contains, begins, ends, is, is-not
  --size <N[UNIT]        regular files of at most N bytes
  --size >N[UNIT]        regular files of at least N bytes (UNIT: B K M G T, 1,024-based)
  --modified WHEN        WHEN: last-hour, last-6-hours, today, yesterday,
  --created WHEN               within:N(min|h|d|w|m|y), on:YYYY-MM-DD,
                               before:YYYY-MM-DD, after:YYYY-MM-DD
  --type T               T: file, dir, link, ds_store, or a MIME type or
  --not-type T              family (text/plain, image/*, */*)
  --tag TEXT             a tag (user.xdg.tags) containing TEXT
  --xattr NAME           has the extended attribute NAME (e.g. user.xdg.comment)
  --no-xattr NAME        does not have it
  --criteria FILE        canonical criteria as a JSON array of
                         {"kind", "operator", "value"} objects ("-": standard input)

Saved searches (shared with the Trovix window):
  --saved NAME           add the rules of a saved search (by name or identifier)
  --list-saved           list the saved searches: identifier, name, rules
  --save NAME            store the rules given here as a new saved search and
                         print its identifier (PATTERN, excluded folders and skipped
                         names are not stored)

Output:
  (default)              one absolute path per line, in the order found
  -0, --print0           paths separated by NUL bytes
  --json                 one JSON object per line: path, type (F, D, L), size,
                         modified, created; path_bytes (base64) when the
                         path is not valid UTF-8
  --stats                the statistics line on standard error at the end
  --count                print only the statistics line
  --threads N            folders are read ahead by N threads (1: the walk
                         reads each folder itself; default: TROVIX_WALK_THREADS,
                         or 16)
  -h, --help             this help
  --version              the version

Exit status: 0 something was found, 1 nothing was found, 2 usage error,
malformed criteria, unusable scope, nothing to search for or a write error,
130 stopped by a signal.
On a terminal a progress line appears on standard error after one second;
Ctrl-C stops the walk and still prints what was found.
Only regular files, folders and symbolic links are listed. The criteria kinds
and operators are listed in trovix-find(1).
)");
}
