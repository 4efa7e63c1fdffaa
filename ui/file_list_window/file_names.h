#pragma once
// Shared by the file list window's two source files.
#include <QFile>
#include <QString>

#include <string>

namespace kalibron::file_list {

inline constexpr int kGridColumnsWithText = 13; // columns 1..13 are all any output reads

// File names are bytes; show them as the file system names them, and give
// back the bytes a shown name stands for.
inline QString fromName(const std::string& name) { return QFile::decodeName(QByteArray::fromStdString(name)); }
inline std::string toName(const QString& name) { return QFile::encodeName(name).toStdString(); }

} // namespace kalibron::file_list
