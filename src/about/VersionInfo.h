// The version of a program file.
#pragma once

#include <QString>

// The version as four decimal numbers joined by "." (major, minor, release, build). Without a
// file name the program's own executable is meant. Empty when the file does not exist or
// carries no version: only our own executable carries one, the version it was built as.
QString FileVersionText(const QString& fileName = QString());
// The version this program was built as, four numbers: what --version prints and what our own
// executable carries.
QString BuiltVersionText();
// A version of up to four numbers written out as exactly four ("1.2" gives "1.2.0.0");
// empty when the text is not such a version.
QString FourPartVersion(const QString& version);
