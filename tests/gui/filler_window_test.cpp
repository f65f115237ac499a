// The Media Filler window, driven through its controls as a user would:
// the enabling rules, a dropped folder, Reset, Close, Empty Dir and a fill
// whose progress shows in the title.
#include "app/app.h"
#include "app/settings_file.h"
#include "core/settings_defaults.h"
#include "db/table.h"
#include "filler/empty_dir.h"
#include "filler/filler_settings.h"
#include "gui/filler_window.h"
#include "gui/qt_test_env.h"
#include "gui/qt_ui.h"
#include "platform/files.h"
#include "support/song_table.h"
#include "support/temp_dir.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QDropEvent>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QUrl>

#include <gtest/gtest.h>

#include <cstdlib>
#include <deque>
#include <fcntl.h>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace plinka::gui {
namespace {

// Answers questions from a script and notes messages instead of showing
// them.
class ScriptedUi : public QtUi {
public:
  using QtUi::QtUi;
  uint32_t prompt(const PromptRequest& request, std::string*) override {
    questions.push_back(request.message);
    if (answers.empty())
      return kPromptSecond;
    const uint32_t answer = answers.front();
    answers.pop_front();
    return answer;
  }
  void messageBox(const std::string& text, const std::string&) override { messages.push_back(text); }
  void openHelp() override { ++helpOpened; }
  void openFolder(const std::string& path) override { foldersOpened.push_back(path); }
  bool chooseFolder(std::string& path) override {
    if (chosenFolder.empty())
      return false;
    path = chosenFolder;
    return true;
  }
  std::deque<uint32_t> answers;
  std::vector<std::string> questions;
  std::vector<std::string> messages;
  std::vector<std::string> foldersOpened;
  std::string chosenFolder;
  int helpOpened = 0;
};

const char* const kSingleTypeBoxes[] = {"typeMp3", "typeAvi", "typeWav",  "typeMpeg", "typeMidi", "typeWma",
                                        "typeAsf", "typeWmv", "typeFlac", "typeOgg",  "typeOpus", "typeM4a",
                                        "typeAac", "typeMp4", "typeMkv",  "typeWebm"};

class FillerWindowTest : public ::testing::Test {
protected:
  FillerWindowTest() {
    app->folders.data = data.path();
    app->folders.program = data.path();
    firstRunDefaults(app->settings, app->folders);
    shareSettings(*app);
    app->ui = ui.get();
    app->builder.fillerActive.store(1);
    app->clock.speed = 50;
  }
  ~FillerWindowTest() override { window.reset(); }

  void makeWindow() {
    window = std::make_unique<FillerWindow>(*app);
    window->show();
  }
  template <class T> T* child(const char* name) {
    T* found = window->findChild<T*>(name);
    EXPECT_NE(found, nullptr) << name;
    return found;
  }
  void click(const char* button) { child<QPushButton>(button)->click(); }
  void setFolder(const std::string& folder) {
    FillerSettings& b = app->settings.fillerSettings;
    std::memset(b.fillDirectory, 0, sizeof b.fillDirectory);
    std::memcpy(b.fillDirectory, folder.data(), folder.size());
  }

  // `count` sparse songs of `kb` KB each, and the song table of them.
  void makeSongs(uint32_t count, uint64_t kb) {
    std::vector<std::string> paths;
    for (uint32_t k = 0; k < count; ++k) {
      paths.push_back(media.file("song" + std::to_string(k) + ".mp3"));
      const int fd = ::open(paths.back().c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      ASSERT_GE(fd, 0);
      ASSERT_EQ(::ftruncate(fd, static_cast<off_t>(kb * 1024)), 0);
      ::close(fd);
    }
    test::makeSongTable(app->songTable, app->settings.databasePath, count, [&](db::TableHandle& h, uint32_t k) {
      test::putText(h, k, db::FileName, paths[k]);
      for (uint32_t u = 0; u < kUserCount; ++u) {
        test::putNumber(h, k, db::scoreField(u), 16);
        test::putNumber(h, k, db::targetField(u), 100000);
      }
    });
  }

  void saveShot(const char* name) {
    ASSERT_TRUE(QDir().mkpath(PLINKA_SCREENSHOT_DIR));
    EXPECT_TRUE(window->grab().save(QString(PLINKA_SCREENSHOT_DIR) + "/" + name)) << name;
  }

  test::TempDir data;
  test::TempDir media;
  test::TempDir fillFolder;
  std::unique_ptr<App> app = std::make_unique<App>();
  std::unique_ptr<ScriptedUi> ui = std::make_unique<ScriptedUi>(*app);
  std::unique_ptr<FillerWindow> window;
};

TEST_F(FillerWindowTest, AllGreysTheSingleTypesAndAUserModeGreysTheUser) {
  app->settings.fillerSettings.typeAll = 1;
  app->settings.fillerSettings.userMode = 0;
  app->settings.fillerSettings.newTypesOff = kNewTypeBitOpus;
  setFolder("/media/player");
  makeWindow();
  EXPECT_EQ(window->windowTitle(), "Plinka Media Filler");
  EXPECT_EQ(child<QLineEdit>("outputEdit")->text(), "/media/player");
  EXPECT_EQ(child<QComboBox>("fillSizeList")->currentText(), "4 GB");
  EXPECT_EQ(child<QComboBox>("fillSizeList")->count(), 8);
  EXPECT_EQ(child<QComboBox>("playUpToList")->itemText(3), "Really Dirty");
  EXPECT_EQ(child<QComboBox>("minRatingList")->count(), 11);
  EXPECT_EQ(child<QComboBox>("userList")->count(), 10);
  EXPECT_EQ(child<QComboBox>("userModeList")->count(), 10);
  EXPECT_FALSE(child<QCheckBox>("typeOpus")->isChecked());
  EXPECT_TRUE(child<QCheckBox>("typeFlac")->isChecked());
  EXPECT_EQ(child<QCheckBox>("addNumber")->toolTip().toStdString(),
            "Adds a number to the start of each filename - useful for players with a bad random mode");
  saveShot("filler_window.png");

  for (const char* box : kSingleTypeBoxes)
    EXPECT_FALSE(child<QCheckBox>(box)->isEnabled()) << box;
  EXPECT_TRUE(child<QComboBox>("userList")->isEnabled());

  child<QCheckBox>("typeAll")->click();
  for (const char* box : kSingleTypeBoxes)
    EXPECT_TRUE(child<QCheckBox>(box)->isEnabled()) << box;
  child<QComboBox>("userModeList")->setCurrentIndex(2);
  EXPECT_FALSE(child<QComboBox>("userList")->isEnabled());
  EXPECT_EQ(+app->settings.fillerSettings.userMode, 2u);
  EXPECT_EQ(+app->settings.fillerSettings.typeAll, 0u);

  // "On Top": a check box beside the buttons, and the window's own menu;
  // each follows the other.
  ASSERT_EQ(window->actions().size(), 1);
  QAction* onTop = window->actions().front();
  auto* onTopBox = child<QCheckBox>("onTopBox");
  EXPECT_EQ(onTop->text(), "On Top");
  EXPECT_EQ(onTopBox->text(), "On Top");
  EXPECT_FALSE(onTop->isChecked());
  EXPECT_FALSE(onTopBox->isChecked());
  onTop->trigger();
  EXPECT_EQ(+app->settings.onTop, 1u);
  EXPECT_TRUE(onTop->isChecked());
  EXPECT_TRUE(onTopBox->isChecked());
  EXPECT_TRUE(window->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
  onTopBox->click();
  EXPECT_EQ(+app->settings.onTop, 0u);
  EXPECT_FALSE(onTop->isChecked());
  EXPECT_FALSE(onTopBox->isChecked());
  EXPECT_FALSE(window->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
  EXPECT_TRUE(window->isVisible());
}

TEST_F(FillerWindowTest, ADroppedFolderWithADotInItsPathIsIgnored) {
  setFolder("/media/player");
  makeWindow();
  auto drop = [this](const std::string& path) {
    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile(QString::fromStdString(path))});
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(window.get(), &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent event(QPointF(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(window.get(), &event);
    return child<QLineEdit>("outputEdit")->text().toStdString();
  };
  EXPECT_EQ(drop("/media/john.doe/PLAYER"), "/media/player");
  EXPECT_EQ(drop("/media/WALKMAN"), "/media/WALKMAN");
  EXPECT_EQ(drop("/home/me/song.mp3"), "/media/WALKMAN");

  // "Change" and "Open Output Dir".
  ui->chosenFolder = "/run/media/me/PHONE";
  click("changeButton");
  EXPECT_EQ(child<QLineEdit>("outputEdit")->text(), "/run/media/me/PHONE");
  click("openOutputButton");
  child<QLineEdit>("outputEdit")->setText("/m");
  click("openOutputButton");
  EXPECT_EQ(ui->foldersOpened, std::vector<std::string>{"/run/media/me/PHONE"});
}

TEST_F(FillerWindowTest, ResetBringsTheMainSettingsOutputFolderAndCloseSavesTheFillersOwnFile) {
  setFolder("/media/kept-in-main-settings");
  ASSERT_TRUE(saveSettings(*app));
  const std::string mainSettings = test::readFile(data.file(kSettingsFileName));
  setFolder("/media/from-filler-file");
  app->settings.fillerSettings.fillSize = 0;
  makeWindow();
  child<QLineEdit>("outputEdit")->setText("/media/typed");

  ui->answers = {kPromptSecond};
  click("resetButton");
  EXPECT_EQ(ui->questions, std::vector<std::string>{"This will reset all the Plinka Media Filler settings."});
  EXPECT_EQ(child<QLineEdit>("outputEdit")->text(), "/media/typed");

  ui->answers = {kPromptFirst};
  click("resetButton");
  EXPECT_EQ(child<QLineEdit>("outputEdit")->text(), "/media/kept-in-main-settings");
  EXPECT_EQ(child<QComboBox>("fillSizeList")->currentText(), "4 GB");

  child<QComboBox>("fillSizeList")->setCurrentIndex(0);
  child<QCheckBox>("typeMkv")->setChecked(false);
  child<QLineEdit>("outputEdit")->setText("/media/closed-with");
  click("closeButton");
  EXPECT_FALSE(window->isVisible());

  app->settings.fillerSettings = FillerSettings{};
  ASSERT_TRUE(filler::loadFillerSettings(*app));
  const FillerSettings& b = app->settings.fillerSettings;
  EXPECT_EQ(+b.fillSize, 0u);
  EXPECT_EQ(+b.newTypesOff, kNewTypeBitMkv);
  EXPECT_STREQ(b.fillDirectory, "/media/closed-with");
  EXPECT_EQ(test::readFile(data.file(kSettingsFileName)), mainSettings) << "the main settings are never written";
}

TEST_F(FillerWindowTest, FillShowsItsProgressInTheTitleAndEndsReadyForTheNext) {
  makeSongs(30, 5000);
  setFolder(fillFolder.path());
  app->settings.fillerSettings.fillSize = 0;  // "128 MB"
  app->settings.fillerSettings.addNumber = 1;
  app->settings.fillerSettings.emptyDir = 0;
  makeWindow();
  std::vector<QString> titles;
  QObject::connect(window.get(), &QWidget::windowTitleChanged, [&titles](const QString& t) { titles.push_back(t); });
  // Copies as sparse files of the song's size: no bytes moved.
  window->copierForTests = [](const std::string& source, const std::string& to, const std::string&,
                              const std::atomic<uint32_t>*) {
    struct stat st {};
    ::stat(source.c_str(), &st);
    const int fd = ::open(to.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    filler::CopyResult r;
    if (fd < 0 || ::ftruncate(fd, st.st_size) != 0)
      r.end = filler::CopyEnd::TargetFailed;
    if (fd >= 0)
      ::close(fd);
    return r;
  };
  bool ended = false;
  QObject::connect(window.get(), &FillerWindow::fillEnded, [&ended] { ended = true; });

  click("fillButton");
  EXPECT_FALSE(child<QPushButton>("fillButton")->isEnabled());
  ASSERT_TRUE(processUntil([&] { return ended; }, 20000));
  EXPECT_TRUE(child<QPushButton>("fillButton")->isEnabled());
  EXPECT_EQ(window->windowTitle(), "Plinka Media Filler");
  EXPECT_TRUE(ui->messages.empty());
  EXPECT_EQ(QDir(QString::fromStdString(fillFolder.path())).entryList(QDir::Files).size(), 25);
  // Titles arrive as the latest of each batch; any that came counts down.
  for (const QString& t : titles)
    EXPECT_TRUE(t == "Plinka Deep Building" || t == "Plinka Media Filler" || t.contains("MB to go, 0"))
        << t.toStdString();
}

TEST_F(FillerWindowTest, EmptyDirAsksFirstAndRefusesTheHomeFolder) {
  makeSongs(20, 1);
  test::writeFile(fillFolder.file("old song.mp3"), "old");
  setFolder(fillFolder.path());
  app->settings.fillerSettings.emptyDir = 1;
  app->settings.fillerSettings.fillSize = filler::kFillToTheEnd;
  makeWindow();
  // The medium is full at once: the fill ends as soon as it has started.
  window->copierForTests = [](const std::string&, const std::string&, const std::string&,
                              const std::atomic<uint32_t>*) {
    filler::CopyResult full;
    full.end = filler::CopyEnd::MediumFull;
    return full;
  };
  bool ended = false;
  QObject::connect(window.get(), &FillerWindow::fillEnded, [&ended] { ended = true; });

  ui->answers = {kPromptSecond};
  click("fillButton");
  EXPECT_EQ(ui->questions, std::vector<std::string>{"Delete all files in Fill directory?"});
  EXPECT_TRUE(platform::fileExists(fillFolder.file("old song.mp3")));
  EXPECT_FALSE(window->fillRunning());

  // The home folder is refused with a message; no fill starts.
  const char* savedHome = std::getenv("HOME");
  const std::string home = savedHome ? savedHome : "";
  ::setenv("HOME", fillFolder.path().c_str(), 1);
  ui->answers = {kPromptFirst};
  click("fillButton");
  ::setenv("HOME", home.c_str(), 1);
  EXPECT_EQ(ui->messages, std::vector<std::string>{filler::kEmptyDirRefused});
  EXPECT_TRUE(platform::fileExists(fillFolder.file("old song.mp3")));
  EXPECT_FALSE(window->fillRunning());

  ui->answers = {kPromptFirst};
  click("fillButton");
  EXPECT_FALSE(platform::fileExists(fillFolder.file("old song.mp3")));
  ASSERT_TRUE(processUntil([&] { return ended; }, 20000));
  EXPECT_EQ(ui->messages.size(), 1u) << "a full medium is the normal end of \"Fill\"";
}

}  // namespace
}  // namespace plinka::gui
