// Texts between the engine, which keeps UTF-8 bytes, and Qt.
#pragma once

#include <QString>

#include <cstring>
#include <string>

namespace plinka::gui {

inline QString toQ(const std::string& s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }
// A fixed-size buffer's text, read no further than the buffer's end.
template <size_t N> QString toQ(const char (&text)[N]) {
  return QString::fromUtf8(text, static_cast<qsizetype>(strnlen(text, N)));
}
inline std::string fromQ(const QString& s) { return s.toUtf8().toStdString(); }

}  // namespace plinka::gui
