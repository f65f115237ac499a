// The desktop's media controls: the panel's media widget, the lock screen and
// the keyboard's media keys reach the player over D-Bus (MPRIS 2). Play/Pause,
// Stop, Next and Previous become the main window's commands 1, 2, 5 and 4, so
// they take the same road as the toolbar's buttons; the playback state, the
// volume and the current song's texts are read from the engine when asked.
// The desktop's sound applet sets the current State's volume.
#pragma once

#include "core/window_command_ids.h"

#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <QVariantMap>

#include <cstdint>
#include <functional>
#include <string>

namespace plinka {
struct App;
}

namespace plinka::gui {

class MprisRootAdaptor;
class MprisPlayerAdaptor;

class MediaControls : public QObject {
  Q_OBJECT

public:
  // Registers "org.mpris.MediaPlayer2.plinka" with the object
  // /org/mpris/MediaPlayer2 on `bus`. `runCommand` carries out a main-window
  // command on the GUI thread; `raise` shows the main window. Made and used
  // on the GUI thread, where the bus calls arrive too.
  MediaControls(App& app, QDBusConnection bus, std::function<void(WindowCommand)> runCommand,
                std::function<void()> raise, QObject* parent = nullptr);
  ~MediaControls() override;

  // False when there is no bus or another program holds the name; the player
  // then simply goes on without media controls.
  bool registered() const { return registered_; }

  // Called on the GUI thread when the player starts, stops or changes song,
  // or the volume changes: announces the playback status, the volume and the
  // song's details that changed since the last announcement.
  void refresh();

private:
  friend class MprisRootAdaptor;
  friend class MprisPlayerAdaptor;

  // What the bus calls read and do (GUI thread).
  bool playerRunning() const;
  QString playbackStatus() const;
  // The current song's details; a new song gets a new track id.
  QVariantMap metadata();
  // Microseconds into the current song.
  qlonglong position() const;
  double volume() const;
  void setVolume(double volume);
  void command(WindowCommand id) const;
  void raiseWindow() const;

  App& app_;
  QDBusConnection bus_;
  std::function<void(WindowCommand)> runCommand_;
  std::function<void()> raise_;
  bool registered_ = false;

  // The song the track id was last counted for, and its number.
  std::string trackFile_;
  uint32_t trackNumber_ = 0;

  // What the last announcement (or the start) told the desktop.
  QString sentStatus_;
  QVariantMap sentMetadata_;
  double sentVolume_ = 1.0;
};

}  // namespace plinka::gui
