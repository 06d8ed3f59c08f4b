// names.h: whether an archive entry name stays inside the target directory.
#ifndef QOX_NAMES_H
#define QOX_NAMES_H

// True when `name` is relative and stays below the directory it is written
// into: no leading '\\' or '/' (absolute or UNC), no drive letter, no level
// made only of dots and spaces that a file system would read as "..", and not
// one of the installer's own temporary names ("~un1", "~un2", in any case,
// and however else a file system would reach them: "./~un2", "~un2.",
// "~un2::$DATA", "~un2\\:x").
// '\\' and '/' both count as separators here. The empty name is safe: it
// creates nothing.
bool name_safe(const char *name);

#endif
