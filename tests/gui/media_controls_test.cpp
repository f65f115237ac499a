#include "app/app.h"
#include "gui/main_window.h"
#include "gui/media_controls.h"
#include "gui/qt_test_env.h"
#include "gui/qt_ui.h"

#include <QByteArray>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCall>
#include <QDBusVariant>
#include <QProcess>
#include <QSlider>
#include <QStandardPaths>
#include <QStringList>

#include <gtest/gtest.h>

#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <sys/prctl.h>

namespace plinka::gui {
namespace {

const QString kService = QStringLiteral("org.mpris.MediaPlayer2.plinka");
const QString kPath = QStringLiteral("/org/mpris/MediaPlayer2");
const QString kRoot = QStringLiteral("org.mpris.MediaPlayer2");
const QString kPlayer = QStringLiteral("org.mpris.MediaPlayer2.Player");

template <size_t N> void setText(char (&buffer)[N], const char* text) { std::snprintf(buffer, N, "%s", text); }

// The suite runs a private bus of its own, started once for all tests: the
// controls sit on one connection, the "desktop" calls them from another.
class MediaControlsTest : public ::testing::Test {
protected:
  static void SetUpTestSuite() {
    if (QStandardPaths::findExecutable(QStringLiteral("dbus-daemon")).isEmpty()) {
      skipReason = "dbus-daemon is not installed (package dbus); the media controls cannot be tried";
      return;
    }
    daemon = std::make_unique<QProcess>();
    // The bus ends with the test program, even when a test crashes it.
    daemon->setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
    daemon->start(QStringLiteral("dbus-daemon"), {"--session", "--nofork", "--print-address=1"});
    QByteArray line;
    while (!line.contains('\n') && daemon->waitForReadyRead(5000))
      line += daemon->readAllStandardOutput();
    address = QString::fromUtf8(line).trimmed();
    if (address.isEmpty())
      skipReason = "dbus-daemon started but gave no bus address";
  }

  static void TearDownTestSuite() {
    QDBusConnection::disconnectFromBus(QStringLiteral("plinka-test"));
    QDBusConnection::disconnectFromBus(QStringLiteral("plinka-test-desktop"));
    if (daemon) {
      daemon->terminate();
      daemon->waitForFinished(3000);
      daemon.reset();
    }
  }

  void SetUp() override {
    if (!skipReason.empty())
      GTEST_SKIP() << skipReason;
    app = std::make_unique<App>();
    controls = std::make_unique<MediaControls>(
        *app, bus(), [this](WindowCommand command) { commands.push_back(command); }, [this] { ++raised; });
    ASSERT_TRUE(controls->registered());
  }

  static QDBusConnection bus() { return QDBusConnection::connectToBus(address, QStringLiteral("plinka-test")); }
  static QDBusConnection desktop() {
    return QDBusConnection::connectToBus(address, QStringLiteral("plinka-test-desktop"));
  }

  // Calls a method from the desktop's connection and waits for the answer
  // with the event loop running (the controls answer on this same thread).
  QDBusMessage call(const QString& interface, const QString& method, const QVariantList& arguments = {}) {
    QDBusMessage message = QDBusMessage::createMethodCall(kService, kPath, interface, method);
    message.setArguments(arguments);
    QDBusPendingCall pending = desktop().asyncCall(message);
    EXPECT_TRUE(processUntil([&] { return pending.isFinished(); })) << method.toStdString();
    return pending.reply();
  }

  QVariant property(const QString& interface, const QString& name) {
    const QDBusMessage reply =
        call(QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"), {interface, name});
    EXPECT_EQ(reply.type(), QDBusMessage::ReplyMessage) << reply.errorMessage().toStdString();
    if (reply.arguments().isEmpty())
      return {};
    return reply.arguments().at(0).value<QDBusVariant>().variant();
  }

  QVariantMap metadata() { return qdbus_cast<QVariantMap>(property(kPlayer, QStringLiteral("Metadata"))); }

  // Runs the desktop's command-line controller on the private bus, with the
  // event loop running meanwhile (the controls answer on this thread); its
  // standard output.
  static std::string playerctl(const QStringList& arguments) {
    const QString program = QStandardPaths::findExecutable(QStringLiteral("playerctl"));
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), address);
    process.setProcessEnvironment(environment);
    process.start(program, QStringList{QStringLiteral("--player=plinka")} + arguments);
    const std::string what = arguments.join(' ').toStdString();
    EXPECT_TRUE(processUntil([&] { return process.state() == QProcess::NotRunning; }, 10000)) << what;
    EXPECT_EQ(process.exitCode(), 0) << what << ": " << process.readAllStandardError().toStdString();
    return process.readAllStandardOutput().toStdString();
  }

  inline static std::unique_ptr<QProcess> daemon;
  inline static QString address;
  inline static std::string skipReason;

  std::unique_ptr<App> app;
  std::vector<WindowCommand> commands;
  int raised = 0;
  std::unique_ptr<MediaControls> controls;
};

TEST_F(MediaControlsTest, ButtonsBecomeMainWindowCommands) {
  struct Case {
    const char* method;
    QVariantList arguments;
    bool playing;
    std::vector<WindowCommand> expected;
  };
  const Case cases[] = {
      {"PlayPause", {}, false, {WindowCommand::PlayPause}},
      {"PlayPause", {}, true, {WindowCommand::PlayPause}},
      {"Play", {}, false, {WindowCommand::PlayPause}},
      {"Play", {}, true, {}},
      {"Pause", {}, true, {WindowCommand::PlayPause}},
      {"Pause", {}, false, {}},
      {"Stop", {}, true, {WindowCommand::Stop}},
      {"Next", {}, true, {WindowCommand::Skip}},
      {"Previous", {}, true, {WindowCommand::LastSong}},
      {"Seek", {qlonglong(5000000)}, true, {}},
      {"OpenUri", {QStringLiteral("file:///elsewhere.mp3")}, true, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.method) + (c.playing ? " while playing" : " while stopped"));
    app->run.playerRunning.store(c.playing ? 1 : 0);
    commands.clear();
    const QDBusMessage reply = call(kPlayer, QString::fromLatin1(c.method), c.arguments);
    EXPECT_EQ(reply.type(), QDBusMessage::ReplyMessage) << reply.errorMessage().toStdString();
    EXPECT_EQ(commands, c.expected);
  }

  call(kRoot, QStringLiteral("Raise"));
  EXPECT_EQ(raised, 1);
  call(kRoot, QStringLiteral("Quit"));
  EXPECT_TRUE(commands.empty());
  EXPECT_EQ(property(kRoot, QStringLiteral("CanQuit")).toBool(), false);
  EXPECT_EQ(property(kRoot, QStringLiteral("Identity")).toString(), QStringLiteral("Plinka"));
}

TEST_F(MediaControlsTest, PlaybackStatusFollowsThePlayer) {
  struct Case {
    uint32_t running;
    uint32_t pausedAt;
    const char* status;
  };
  const Case cases[] = {{0, 0, "Stopped"}, {1, 0, "Playing"}, {0, 81234, "Paused"}, {1, 81234, "Playing"}};
  for (const Case& c : cases) {
    app->run.playerRunning.store(c.running);
    app->player.pausePosition.store(c.pausedAt);
    EXPECT_EQ(property(kPlayer, QStringLiteral("PlaybackStatus")).toString(), QString::fromLatin1(c.status))
        << "running " << c.running << ", paused at " << c.pausedAt;
  }

  app->player.playPosition.store(-1);
  EXPECT_EQ(property(kPlayer, QStringLiteral("Position")).toLongLong(), 0);
  app->player.playPosition.store(61500);
  EXPECT_EQ(property(kPlayer, QStringLiteral("Position")).toLongLong(), 61500000);
}

TEST_F(MediaControlsTest, MetadataDescribesTheCurrentSong) {
  EXPECT_EQ(metadata().value(QStringLiteral("mpris:trackid")).value<QDBusObjectPath>().path(),
            QStringLiteral("/org/mpris/MediaPlayer2/TrackList/NoTrack"));

  auto& details = app->details;
  setText(details.current.title, "Blue Hour");
  setText(details.current.artist, "M\xC3\xB8ller");
  setText(details.current.album, "Dusk");
  setText(details.currentSongFile, "/music/Dusk/01 Blue Hour & Co.mp3");
  const QVariantMap first = metadata();
  EXPECT_EQ(first.value(QStringLiteral("xesam:title")).toString(), QStringLiteral("Blue Hour"));
  EXPECT_EQ(first.value(QStringLiteral("xesam:artist")).toStringList(),
            QStringList{QString::fromUtf8("M\xC3\xB8ller")});
  EXPECT_EQ(first.value(QStringLiteral("xesam:album")).toString(), QStringLiteral("Dusk"));
  EXPECT_EQ(first.value(QStringLiteral("xesam:url")).toString(),
            QStringLiteral("file:///music/Dusk/01%20Blue%20Hour%20%26%20Co.mp3"));
  const QString firstTrack = first.value(QStringLiteral("mpris:trackid")).value<QDBusObjectPath>().path();
  EXPECT_TRUE(firstTrack.startsWith(QStringLiteral("/org/plinka/track/"))) << firstTrack.toStdString();
  EXPECT_EQ(metadata().value(QStringLiteral("mpris:trackid")).value<QDBusObjectPath>().path(), firstTrack)
      << "asking again is the same track";

  // The next song: a new track id. Its title fills the whole buffer with no
  // terminator, and is read only up to the buffer's end.
  std::memset(details.current.title, 'x', sizeof details.current.title);
  setText(details.currentSongFile, "/music/Dusk/02 Night.mp3");
  const QVariantMap second = metadata();
  EXPECT_NE(second.value(QStringLiteral("mpris:trackid")).value<QDBusObjectPath>().path(), firstTrack);
  EXPECT_EQ(second.value(QStringLiteral("xesam:title")).toString(), QString(sizeof details.current.title, 'x'));

  // The length (microseconds) once the player knows it, and the picture the
  // window shows once it is loaded.
  EXPECT_FALSE(second.contains(QStringLiteral("mpris:length")));
  EXPECT_FALSE(second.contains(QStringLiteral("mpris:artUrl")));
  app->player.endPosition.store(215000);
  {
    const std::lock_guard<std::mutex> lock(app->cover.pictureMutex);
    app->cover.picturePath = "/music/Dusk/Folder Art.jpg";
  }
  app->cover.ready.store(1);
  const QVariantMap third = metadata();
  EXPECT_EQ(third.value(QStringLiteral("mpris:length")).toLongLong(), 215000000);
  EXPECT_EQ(third.value(QStringLiteral("mpris:artUrl")).toString(),
            QStringLiteral("file:///music/Dusk/Folder%20Art.jpg"));
}

// The desktop's own command-line controller drives the player over the bus
// as a panel would: play/pause and next become the main window's commands.
TEST_F(MediaControlsTest, PlayerctlDrivesPlayPauseAndNext) {
  if (QStandardPaths::findExecutable(QStringLiteral("playerctl")).isEmpty())
    GTEST_SKIP() << "playerctl is not installed";
  app->run.playerRunning.store(1);
  commands.clear();
  playerctl({QStringLiteral("play-pause")});
  playerctl({QStringLiteral("next")});
  EXPECT_EQ(commands, (std::vector<WindowCommand>{WindowCommand::PlayPause, WindowCommand::Skip}));
}

// The sound applet's volume is the current State's: set from the desktop it
// shows in the window's slider and is kept for the State; set from the
// slider it is what the desktop reads.
TEST_F(MediaControlsTest, PlayerctlVolumeIsTheStatesVolume) {
  if (QStandardPaths::findExecutable(QStringLiteral("playerctl")).isEmpty())
    GTEST_SKIP() << "playerctl is not installed";
  QtUi ui(*app);
  app->ui = &ui;
  MainWindow window(*app);
  ui.attachWindow(&window);
  window.onPlayerChanged = [this] { controls->refresh(); };
  app->settings.currentState = 1;
  EXPECT_DOUBLE_EQ(std::stod(playerctl({QStringLiteral("volume")})), 1.0) << "a State never set is at full volume";

  playerctl({QStringLiteral("volume"), QStringLiteral("0.3")});
  EXPECT_EQ(app->shared.stateVolumeCut[1].load(), 700u);
  EXPECT_EQ(app->shared.stateVolumeCut[0].load(), 0u) << "another State";
  EXPECT_TRUE(processUntil([&] { return window.volumeBar()->value() == 300; })) << window.volumeBar()->value();

  window.volumeBar()->setValue(550);
  EXPECT_NEAR(std::stod(playerctl({QStringLiteral("volume")})), 0.55, 1e-9);
  window.volumeBar()->setValue(300);
  EXPECT_NEAR(std::stod(playerctl({QStringLiteral("volume")})), 0.3, 1e-9);

  window.onPlayerChanged = nullptr;
  ui.attachWindow(nullptr);
  app->ui = nullptr;
}

// Values outside 0-1 are taken as the nearer end; a value that is not a
// number changes nothing.
TEST_F(MediaControlsTest, VolumeSetOutsideItsRangeIsHeldAtTheEnds) {
  struct Case {
    double asked;
    uint32_t cut;
  };
  const Case cases[] = {{0.25, 750},
                        {-0.5, 1000},
                        {1.7, 0},
                        {-std::numeric_limits<double>::infinity(), 1000},
                        {std::numeric_limits<double>::quiet_NaN(), 1000},
                        {std::numeric_limits<double>::infinity(), 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.asked);
    const QDBusMessage reply = call(QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Set"),
                                    {kPlayer, QStringLiteral("Volume"), QVariant::fromValue(QDBusVariant(c.asked))});
    EXPECT_EQ(reply.type(), QDBusMessage::ReplyMessage) << reply.errorMessage().toStdString();
    EXPECT_EQ(app->shared.stateVolumeCut[0].load(), c.cut);
    EXPECT_DOUBLE_EQ(property(kPlayer, QStringLiteral("Volume")).toDouble(), (1000 - c.cut) / 1000.0);
  }
}

TEST_F(MediaControlsTest, RefreshAnnouncesWhatChanged) {
  if (QStandardPaths::findExecutable(QStringLiteral("dbus-monitor")).isEmpty())
    GTEST_SKIP() << "dbus-monitor is not installed; the announcement cannot be watched";
  QProcess monitor;
  monitor.start(QStringLiteral("dbus-monitor"),
                {"--address", address, "type='signal',interface='org.freedesktop.DBus.Properties'"});
  QByteArray seen;
  auto saw = [&](const char* text) {
    return processUntil([&] {
      seen += monitor.readAllStandardOutput();
      return seen.contains(text);
    });
  };
  // The monitor says it is watching once the bus took its name away.
  ASSERT_TRUE(saw("NameLost")) << seen.toStdString();
  seen.clear();

  app->run.playerRunning.store(1);
  controls->refresh();
  ASSERT_TRUE(saw("string \"Playing\"")) << seen.toStdString();
  EXPECT_TRUE(seen.contains("member=PropertiesChanged")) << seen.toStdString();
  EXPECT_TRUE(seen.contains("string \"org.mpris.MediaPlayer2.Player\"")) << seen.toStdString();
  EXPECT_TRUE(seen.contains("string \"PlaybackStatus\"")) << seen.toStdString();
  EXPECT_FALSE(seen.contains("Metadata")) << "the song did not change: " << seen.toStdString();

  seen.clear();
  setText(app->details.current.title, "Blue Hour");
  setText(app->details.currentSongFile, "/music/Blue Hour.mp3");
  controls->refresh();
  ASSERT_TRUE(saw("string \"Blue Hour\"")) << seen.toStdString();
  EXPECT_TRUE(seen.contains("string \"Metadata\"")) << seen.toStdString();
  EXPECT_FALSE(seen.contains("PlaybackStatus")) << "the status did not change: " << seen.toStdString();

  seen.clear();
  app->shared.stateVolumeCut[0].store(250);
  controls->refresh();
  ASSERT_TRUE(saw("double 0.75")) << seen.toStdString();
  EXPECT_TRUE(seen.contains("string \"Volume\"")) << seen.toStdString();
  EXPECT_FALSE(seen.contains("Metadata")) << "the song did not change: " << seen.toStdString();

  monitor.terminate();
  monitor.waitForFinished(3000);
}

TEST_F(MediaControlsTest, StaysOffTheBusWhenItCannotHaveTheName) {
  // The name is held already, by another program or by another object of
  // this one: the newcomer gives way, and leaves the first one's name and
  // object alone when it goes.
  for (QDBusConnection other : {desktop(), bus()}) {
    {
      MediaControls second(
          *app, other, [](WindowCommand) {}, [] {});
      EXPECT_FALSE(second.registered());
    }
    EXPECT_EQ(desktop().interface()->serviceOwner(kService).value().toStdString(), bus().baseService().toStdString());
    commands.clear();
    call(kPlayer, QStringLiteral("Next"));
    EXPECT_EQ(commands, std::vector<WindowCommand>{WindowCommand::Skip});
  }

  MediaControls offline(
      *app, QDBusConnection(QStringLiteral("plinka-test-no-bus")), [](WindowCommand) {}, [] {});
  EXPECT_FALSE(offline.registered());
}

}  // namespace
}  // namespace plinka::gui
