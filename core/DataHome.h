#pragma once
// Where the console keeps Data/ (data.mdb, readings.db, Logs/): beside the
// program when that folder can be written (a build or a portable copy), else in
// the user's data folder (an installed program), where a fresh data.mdb is made.
#include <QString>

namespace core {

// The folder that holds Data/.
QString DataHome(const QString& programFolder);

// Makes <home>/Data/data.mdb with its table when the file is missing; the text
// says why it could not. Only for a home of the user's own: beside the program a
// missing file is the operator's error and is reported as such.
bool EnsureDataMdb(const QString& home, QString* error);

}  // namespace core
