// The pictures of the toolbar, read from "ToolBar.bmp" beside the program,
// and the program's own icon.
#pragma once

#include <QIcon>
#include <QPixmap>

#include <string>
#include <vector>

namespace plinka::gui {

// Size of one toolbar picture, and how many the strip must hold at least.
constexpr int kToolbarImageSize = 20;
constexpr int kToolbarImageCount = 13;

// Reads programFolder + "ToolBar.bmp" (programFolder ends in '/') and cuts it
// into 20 x 20 pictures, left to right. False, with `images` left empty, when
// the file is missing, unreadable, lower than 20 pixels or narrower than 13
// pictures. Needs the QGuiApplication.
bool loadToolbarImages(const std::string& programFolder, std::vector<QPixmap>& images);

// The program icon, built into the program (":/plinka.png").
QIcon programIcon();

}  // namespace plinka::gui
