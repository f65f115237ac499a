#include "gui/media_controls.h"

#include "app/app.h"
#include "core/window_command_ids.h"
#include "gui/qt_text.h"
#include "play/volume.h"

#include <QDBusAbstractAdaptor>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QStringList>
#include <QUrl>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <utility>

namespace plinka::gui {

namespace {

const QString kServiceName = QStringLiteral("org.mpris.MediaPlayer2.plinka");
const QString kObjectPath = QStringLiteral("/org/mpris/MediaPlayer2");
const QString kPlayerInterface = QStringLiteral("org.mpris.MediaPlayer2.Player");
// The track id of "no song".
const QString kNoTrack = QStringLiteral("/org/mpris/MediaPlayer2/TrackList/NoTrack");

// A file:// URL for a path, byte for byte: every byte outside the URL's plain
// characters is percent-encoded, so a name that is not valid UTF-8 still
// names its file. Empty for a path that is not absolute.
QString fileUrl(const std::string& path) {
  if (path.empty() || path[0] != '/')
    return {};
  const QByteArray encoded = QUrl::toPercentEncoding(QByteArray(path.data(), static_cast<qsizetype>(path.size())), "/");
  return QStringLiteral("file://") + QString::fromLatin1(encoded);
}

}  // namespace

// org.mpris.MediaPlayer2: who the player is and raising its window.
class MprisRootAdaptor : public QDBusAbstractAdaptor {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2")
  Q_PROPERTY(QString Identity READ identity)
  Q_PROPERTY(QString DesktopEntry READ desktopEntry)
  Q_PROPERTY(bool CanQuit READ canQuit)
  Q_PROPERTY(bool CanRaise READ canRaise)
  Q_PROPERTY(bool HasTrackList READ hasTrackList)
  Q_PROPERTY(QStringList SupportedUriSchemes READ supportedUriSchemes)
  Q_PROPERTY(QStringList SupportedMimeTypes READ supportedMimeTypes)

public:
  explicit MprisRootAdaptor(MediaControls* controls) : QDBusAbstractAdaptor(controls), controls_(controls) {}

  QString identity() const { return QStringLiteral("Plinka"); }
  QString desktopEntry() const { return QStringLiteral("plinka"); }
  bool canQuit() const { return false; }
  bool canRaise() const { return true; }
  bool hasTrackList() const { return false; }
  QStringList supportedUriSchemes() const { return {}; }
  QStringList supportedMimeTypes() const { return {}; }

public slots:
  void Raise() { controls_->raiseWindow(); }
  // The player ends through its own window only.
  void Quit() {}

private:
  MediaControls* controls_;
};

// org.mpris.MediaPlayer2.Player: the playback buttons and what is playing.
class MprisPlayerAdaptor : public QDBusAbstractAdaptor {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2.Player")
  Q_PROPERTY(QString PlaybackStatus READ playbackStatus)
  Q_PROPERTY(double Rate READ rate WRITE setRate)
  Q_PROPERTY(QVariantMap Metadata READ metadata)
  Q_PROPERTY(double Volume READ volume WRITE setVolume)
  Q_PROPERTY(qlonglong Position READ position)
  Q_PROPERTY(double MinimumRate READ rate)
  Q_PROPERTY(double MaximumRate READ rate)
  Q_PROPERTY(bool CanGoNext READ yes)
  Q_PROPERTY(bool CanGoPrevious READ yes)
  Q_PROPERTY(bool CanPlay READ yes)
  Q_PROPERTY(bool CanPause READ yes)
  Q_PROPERTY(bool CanSeek READ no)
  Q_PROPERTY(bool CanControl READ yes)

public:
  explicit MprisPlayerAdaptor(MediaControls* controls) : QDBusAbstractAdaptor(controls), controls_(controls) {}

  QString playbackStatus() const { return controls_->playbackStatus(); }
  QVariantMap metadata() const { return controls_->metadata(); }
  qlonglong position() const { return controls_->position(); }
  // The player plays at one speed; a change of rate asked for is ignored.
  double rate() const { return 1.0; }
  void setRate(double) {}
  // The current State's volume, 0 to 1 on the slider's scale; a value
  // outside is taken as the nearer end.
  double volume() const { return controls_->volume(); }
  void setVolume(double volume) { controls_->setVolume(volume); }
  bool yes() const { return true; }
  bool no() const { return false; }

public slots:
  void PlayPause() { controls_->command(WindowCommand::PlayPause); }
  void Play() {
    if (!controls_->playerRunning())
      controls_->command(WindowCommand::PlayPause);
  }
  void Pause() {
    if (controls_->playerRunning())
      controls_->command(WindowCommand::PlayPause);
  }
  void Stop() { controls_->command(WindowCommand::Stop); }
  void Next() { controls_->command(WindowCommand::Skip); }
  // "Previous" plays the last song again.
  void Previous() { controls_->command(WindowCommand::LastSong); }
  // The desktop cannot seek (CanSeek is false) or open other files.
  void Seek(qlonglong) {}
  void SetPosition(const QDBusObjectPath&, qlonglong) {}
  void OpenUri(const QString&) {}

signals:
  void Seeked(qlonglong position);

private:
  MediaControls* controls_;
};

MediaControls::MediaControls(App& app, QDBusConnection bus, std::function<void(WindowCommand)> runCommand,
                             std::function<void()> raise, QObject* parent)
    : QObject(parent), app_(app), bus_(std::move(bus)), runCommand_(std::move(runCommand)), raise_(std::move(raise)) {
  new MprisRootAdaptor(this);
  new MprisPlayerAdaptor(this);
  sentStatus_ = playbackStatus();
  sentMetadata_ = metadata();
  sentVolume_ = volume();

  if (!bus_.isConnected())
    return;
  // The object first, so that whoever sees the name appear finds it there.
  if (!bus_.registerObject(kObjectPath, this, QDBusConnection::ExportAdaptors))
    return;
  if (!bus_.registerService(kServiceName)) {
    bus_.unregisterObject(kObjectPath);
    return;
  }
  registered_ = true;
}

MediaControls::~MediaControls() {
  // Only what this object registered: a second one that found the name taken
  // must not take it from the first.
  if (!registered_)
    return;
  bus_.unregisterService(kServiceName);
  bus_.unregisterObject(kObjectPath);
}

void MediaControls::refresh() {
  const QString status = playbackStatus();
  const QVariantMap song = metadata();
  QVariantMap changed;
  if (status != sentStatus_) {
    changed.insert(QStringLiteral("PlaybackStatus"), status);
    sentStatus_ = status;
  }
  if (song != sentMetadata_) {
    changed.insert(QStringLiteral("Metadata"), song);
    sentMetadata_ = song;
  }
  if (const double level = volume(); level != sentVolume_) {
    changed.insert(QStringLiteral("Volume"), level);
    sentVolume_ = level;
  }
  if (changed.isEmpty() || !registered_)
    return;
  QDBusMessage signal =
      QDBusMessage::createSignal(kObjectPath, QStringLiteral("org.freedesktop.DBus.Properties"), "PropertiesChanged");
  signal << kPlayerInterface << changed << QStringList();
  bus_.send(signal);
}

bool MediaControls::playerRunning() const { return app_.run.playerRunning.load() != 0; }

QString MediaControls::playbackStatus() const {
  if (playerRunning())
    return QStringLiteral("Playing");
  if (app_.player.pausePosition.load() != 0)
    return QStringLiteral("Paused");
  return QStringLiteral("Stopped");
}

QVariantMap MediaControls::metadata() {
  // One consistent copy of the song, so the track id, the texts and the URL
  // agree while the player starts the next song.
  const play::CurrentSongTexts details = play::copyCurrentSong(app_);
  const std::string& current = details.file;
  QVariantMap song;
  if (current.empty()) {
    song.insert(QStringLiteral("mpris:trackid"), QVariant::fromValue(QDBusObjectPath(kNoTrack)));
    return song;
  }
  if (current != trackFile_) {
    trackFile_ = current;
    ++trackNumber_;
  }
  const QString trackId = QStringLiteral("/org/plinka/track/") + QString::number(trackNumber_);
  song.insert(QStringLiteral("mpris:trackid"), QVariant::fromValue(QDBusObjectPath(trackId)));
  song.insert(QStringLiteral("xesam:title"), toQ(details.title));
  const QString artist = toQ(details.artist);
  song.insert(QStringLiteral("xesam:artist"), artist.isEmpty() ? QStringList() : QStringList{artist});
  song.insert(QStringLiteral("xesam:album"), toQ(details.album));
  const QString url = fileUrl(current);
  if (!url.isEmpty())
    song.insert(QStringLiteral("xesam:url"), url);
  // The length in microseconds, once the player knows it.
  if (const uint32_t endMs = app_.player.endPosition.load(); endMs != 0)
    song.insert(QStringLiteral("mpris:length"), static_cast<qlonglong>(endMs) * 1000);
  // The picture the window shows for the song, once it is loaded.
  std::string picture;
  if (app_.cover.ready.load() != 0) {
    const std::lock_guard<std::mutex> lock(app_.cover.pictureMutex);
    picture = app_.cover.picturePath;
  }
  if (const QString art = picture.empty() ? QString() : fileUrl(picture); !art.isEmpty())
    song.insert(QStringLiteral("mpris:artUrl"), art);
  return song;
}

double MediaControls::volume() const { return play::currentVolume(app_); }

void MediaControls::setVolume(double volume) {
  // Not a number: left as it is. Below silent (minus infinity too) is
  // silent, above full is full.
  if (std::isnan(volume))
    return;
  play::setCurrentVolume(app_, std::clamp(volume, 0.0, 1.0));
}

qlonglong MediaControls::position() const {
  const int32_t ms = app_.player.playPosition.load();
  return ms >= 0 ? static_cast<qlonglong>(ms) * 1000 : 0;
}

void MediaControls::command(WindowCommand id) const {
  if (runCommand_)
    runCommand_(id);
}

void MediaControls::raiseWindow() const {
  if (raise_)
    raise_();
}

}  // namespace plinka::gui

#include "media_controls.moc"
