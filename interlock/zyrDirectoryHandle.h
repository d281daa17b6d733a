#ifndef ZYR_DIRECTORY_HANDLE_H
#define ZYR_DIRECTORY_HANDLE_H
// Directories held by a descriptor. A database works on the files of the directory its open found
// (the file, its lock file, the compactions beside it and their renames) wherever that directory
// is renamed or moved to while it is open, and whatever the process's working directory becomes:
// nothing at the directory's old name is ever touched.
//
// The directory is held open, and its files are reached under a name that leads through the
// descriptor ("/proc/self/fd/<n>/<file>"), so that every call that takes a name (opening, locking,
// renaming, removing, listing the directory, the directory's own lock) works on the held directory.
// The user never sees such a name: messages name the files as the caller gave them
// (zyrDirectoryHandle_shown).
#include <string>

// Holds the directory of `name` (its part up to the last '/', "." when it has none) and answers the
// name that reaches the file `name` through the descriptor, *fd the descriptor (released with
// zyrDirectoryHandle_release). Messages show the held directory as `name` names it. A name that
// already leads through a held directory is not held again (zyrDirectoryHandle_leadsThrough): "".
// "" with *fd -1 as well when the directory cannot be held, or the system offers no name through a
// descriptor (no /proc): the caller then works with the name it has.
std::string zyrDirectoryHandle_hold(const char *name, int *fd);

// Whether the name leads through a directory held here: such a name is not held again, and lasts
// as long as the hold it leads through (the names of files made beside a held file, such as the
// copies a compaction makes, are such names).
bool zyrDirectoryHandle_leadsThrough(const char *name);

// Whether directories are held at all (1, the default, where the system offers names through a
// descriptor). 0 makes zyrDirectoryHandle_hold and zyrDirectoryHandle_fileOf answer "" as on a
// system without /proc: for tests of what a database does without it.
void zyrDirectoryHandle_setEnabled(int enabled);

// The name that reaches the file open as the descriptor itself ("/proc/self/fd/<fd>"), whatever
// names it has now: an open of it opens that very file. "" where the system offers no names through
// descriptors (zyrDirectoryHandle_setEnabled(0) acts so): the caller then has only the file's names.
std::string zyrDirectoryHandle_fileOf(int fd);

// Lets go of a directory that zyrDirectoryHandle_hold held (nothing for -1).
void zyrDirectoryHandle_release(int fd);

// The text with every name that leads through a held directory turned into the name it was given.
std::string zyrDirectoryHandle_shown(const char *text);

#endif
