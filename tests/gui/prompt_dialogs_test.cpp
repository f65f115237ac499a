#include "app/app.h"
#include "gui/about_dialog.h"
#include "gui/qt_test_env.h"
#include "gui/qt_ui.h"
#include "gui/question_dialog.h"
#include "gui/rating_keypad.h"
#include "gui/toolbar_images.h"
#include "gui/welcome_dialog.h"
#include "support/temp_dir.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QGridLayout>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextBrowser>
#include <QTimer>

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <thread>

namespace plinka::gui {
namespace {

const std::string kResources = std::string(PLINKA_TEST_FIXTURES) + "/../../resources/";

// Watches for the next modal dialog and runs `act` on it once it is shown
// (inspect it, type, click). A dialog still open long after that is closed
// with a failure, so that a fault cannot hang the suite.
class DialogDriver {
public:
  explicit DialogDriver(std::function<void(QWidget*)> act) : act_(std::move(act)) {
    since_.start();
    QObject::connect(&timer_, &QTimer::timeout, [this] { poll(); });
    timer_.start(20);
  }
  bool acted() const { return acted_; }

private:
  void poll() {
    QWidget* modal = QApplication::activeModalWidget();
    if (!modal)
      return;
    if (!acted_) {
      acted_ = true;
      act_(modal);
    } else if (since_.elapsed() > 15000) {
      ADD_FAILURE() << "a dialog stayed open";
      modal->close();
    }
  }

  std::function<void(QWidget*)> act_;
  QTimer timer_;
  QElapsedTimer since_;
  bool acted_ = false;
};

QPushButton* button(QWidget* dialog, const char* name) {
  QPushButton* found = dialog->findChild<QPushButton*>(name);
  EXPECT_NE(found, nullptr) << name;
  return found;
}

void click(QWidget* dialog, const char* name) {
  if (QPushButton* b = button(dialog, name))
    b->click();
}

void pressEscape(QWidget* dialog) {
  QKeyEvent key(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
  QApplication::sendEvent(dialog, &key);
}

void saveScreenshot(QWidget* widget, const char* name) {
  ASSERT_TRUE(QDir().mkpath(PLINKA_SCREENSHOT_DIR));
  EXPECT_TRUE(widget->grab().save(QString(PLINKA_SCREENSHOT_DIR) + "/" + name));
}

// The dialog is laid out by a layout, and none of its buttons is narrower or
// lower than its caption needs in the font it shows.
void expectLaidOutUnclipped(QWidget* dialog) {
  EXPECT_NE(dialog->layout(), nullptr);
  for (const QPushButton* b : dialog->findChildren<QPushButton*>()) {
    EXPECT_GE(b->width(), b->sizeHint().width()) << b->objectName().toStdString();
    EXPECT_GE(b->height(), b->sizeHint().height()) << b->objectName().toStdString();
  }
}

// Asks on a worker thread, the way the engine does, while the GUI thread
// keeps its event loop running; returns the answer.
uint32_t askFromWorker(const std::function<uint32_t()>& ask) {
  std::atomic<bool> done{false};
  uint32_t answer = kPromptNone;
  std::thread worker([&] {
    answer = ask();
    done.store(true);
  });
  const bool finished = processUntil([&] { return done.load(); }, 30000);
  worker.join();
  EXPECT_TRUE(finished);
  return answer;
}

class DialogTest : public ::testing::Test {
protected:
  DialogTest() : ui(app) { app.ui = &ui; }

  App app;
  QtUi ui;
};

// ---- the question and text-entry prompt ----

enum class Act { First, Second, Escape, CloseWindow, Nothing };

struct AnswerCase {
  const char* name;
  PromptStyle style;
  uint32_t autoCloseSeconds;
  uint32_t clockSpeed;
  Act act;
  const char* typed;  // put into the entry before acting; nullptr: left as given
  uint32_t answer;
};

class PromptAnswerTest : public DialogTest, public ::testing::WithParamInterface<AnswerCase> {};

TEST_P(PromptAnswerTest, WorkerWaitsForTheAnswerGivenOnTheGuiThread) {
  const AnswerCase& c = GetParam();
  app.clock.speed = c.clockSpeed;
  PromptRequest request;
  request.message = "Go on?";
  request.firstCaption = "Yes";
  request.secondCaption = "No";
  request.entryText = "given";
  request.style = c.style;
  request.autoCloseSeconds = c.autoCloseSeconds;

  DialogDriver driver([&c](QWidget* dialog) {
    if (c.typed)
      dialog->findChild<QLineEdit*>("entry")->setText(QString::fromUtf8(c.typed));
    switch (c.act) {
    case Act::First:
      click(dialog, "first");
      break;
    case Act::Second:
      click(dialog, "second");
      break;
    case Act::Escape:
      pressEscape(dialog);
      break;
    case Act::CloseWindow:
      dialog->close();
      break;
    case Act::Nothing:
      break;
    }
  });
  QElapsedTimer elapsed;
  elapsed.start();
  std::string entered = "untouched";
  EXPECT_EQ(askFromWorker([&] { return ui.prompt(request, &entered); }), c.answer);
  EXPECT_TRUE(driver.acted()) << "answered without showing the dialog";

  if (c.act == Act::Nothing) {
    const qint64 dueMs = qint64(c.autoCloseSeconds) * 1000 / c.clockSpeed;
    EXPECT_GE(elapsed.elapsed(), dueMs - 50) << "closed before its time";
  }
  if (hasTextEntry(c.style))
    EXPECT_EQ(entered, c.typed ? c.typed : "given");
  else
    EXPECT_EQ(entered, "untouched");
}

INSTANTIATE_TEST_SUITE_P(
    Prompts, PromptAnswerTest,
    ::testing::Values(
        AnswerCase{"firstButton", PromptStyle::SmallQuestion, 0, 1, Act::First, nullptr, kPromptFirst},
        AnswerCase{"secondButtonBeforeTheAutoClose", PromptStyle::SmallQuestion, 30, 1, Act::Second, nullptr,
                   kPromptSecond},
        AnswerCase{"escape", PromptStyle::Question, 0, 1, Act::Escape, nullptr, kPromptSecond},
        AnswerCase{"windowClosed", PromptStyle::Question, 0, 1, Act::CloseWindow, nullptr, kPromptSecond},
        // 30 seconds at a hundredfold speed: 0.3 s.
        AnswerCase{"unansweredAutoClose", PromptStyle::SmallQuestion, 30, 100, Act::Nothing, nullptr, kPromptFirst},
        AnswerCase{"entryOk", PromptStyle::SmallTextEntry, 0, 1, Act::First, "Evening songs", kPromptFirst},
        AnswerCase{"entryCancelKeepsTheText", PromptStyle::SmallTextEntry, 0, 1, Act::Second, "half typed",
                   kPromptSecond},
        AnswerCase{"entryEscapeKeepsTheText", PromptStyle::TextEntry, 0, 1, Act::Escape, "half typed", kPromptSecond},
        AnswerCase{"entryAutoClose", PromptStyle::SmallTextEntry, 30, 100, Act::Nothing, nullptr, kPromptFirst}),
    [](const auto& info) { return std::string(info.param.name); });

struct LookCase {
  const char* name;
  PromptStyle style;
  uint32_t topMost;
  int messagePixels;
  bool entry;
  const char* firstCaption;
  const char* secondCaption;
};

class PromptLookTest : public ::testing::TestWithParam<LookCase> {};

TEST_P(PromptLookTest, ShowsTheCallersTextsInTheFormsPlaces) {
  const LookCase& c = GetParam();
  PromptRequest request;
  request.message = c.entry ? "Name of the new playlist" : "This will reset all Plinka settings.";
  request.firstCaption = c.firstCaption;
  request.secondCaption = c.secondCaption;
  request.entryText = "PL3.m3u";
  request.style = c.style;
  request.topMost = c.topMost;

  DialogDriver driver([&c](QWidget* dialog) {
    EXPECT_EQ(dialog->windowTitle(), "Plinka 1.4");
    EXPECT_EQ(dialog->windowFlags().testFlag(Qt::WindowStaysOnTopHint), c.topMost == 1);
    auto* message = dialog->findChild<QPlainTextEdit*>("message");
    ASSERT_NE(message, nullptr);
    EXPECT_EQ(message->toPlainText(), c.entry ? "Name of the new playlist" : "This will reset all Plinka settings.");
    EXPECT_TRUE(message->isReadOnly());
    EXPECT_EQ(message->font().pixelSize(), c.messagePixels);
    for (const char* name : {"first", "second"}) {
      QPushButton* b = button(dialog, name);
      ASSERT_NE(b, nullptr);
      EXPECT_EQ(b->font().family(), "Arial");
      EXPECT_EQ(b->font().pixelSize(), 20);
    }
    EXPECT_EQ(button(dialog, "first")->text(), c.firstCaption);
    EXPECT_EQ(button(dialog, "second")->text(), c.secondCaption);
    auto* entry = dialog->findChild<QLineEdit*>("entry");
    EXPECT_EQ(entry != nullptr && entry->isVisible(), c.entry);
    if (entry) {
      EXPECT_EQ(entry->text(), "PL3.m3u");
    }
    expectLaidOutUnclipped(dialog);
    if (c.style == PromptStyle::SmallQuestion && c.topMost == 1)
      saveScreenshot(dialog, "question_prompt.png");
    if (c.style == PromptStyle::SmallTextEntry)
      saveScreenshot(dialog, "text_entry_prompt.png");
    click(dialog, "second");
  });
  std::string entered;
  EXPECT_EQ(runPromptDialog(request, &entered), kPromptSecond);
  EXPECT_TRUE(driver.acted());
}

INSTANTIATE_TEST_SUITE_P(
    Prompts, PromptLookTest,
    ::testing::Values(LookCase{"question", PromptStyle::Question, 1, 20, false, "Yes, please reset to default",
                               "No, cancel this"},
                      LookCase{"questionSmallFont", PromptStyle::SmallQuestion, 1, 16, false,
                               "Yes, please reset to default", "No, cancel this"},
                      LookCase{"questionNotOnTop", PromptStyle::SmallQuestion, 0, 16, false, "OK", "View ReadMe"},
                      LookCase{"textEntry", PromptStyle::TextEntry, 1, 20, true, "OK", "Cancel"},
                      LookCase{"textEntrySmallFont", PromptStyle::SmallTextEntry, 1, 16, true, "OK", "Cancel"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(DialogTest, APromptWithoutCaptionsShowsEmptyButtonsAfterOneWithCaptions) {
  PromptRequest first;
  first.message = "Database is currently Offline.";
  first.firstCaption = "OK";
  first.secondCaption = "View ReadMe";
  first.style = PromptStyle::SmallQuestion;
  {
    DialogDriver driver([](QWidget* dialog) { click(dialog, "first"); });
    EXPECT_EQ(askFromWorker([&] { return ui.prompt(first, nullptr); }), kPromptFirst);
  }

  PromptRequest bare;
  bare.message = "No captions";
  bare.style = PromptStyle::SmallQuestion;
  QString captions[2] = {"unread", "unread"};
  DialogDriver driver([&captions](QWidget* dialog) {
    captions[0] = button(dialog, "first")->text();
    captions[1] = button(dialog, "second")->text();
    click(dialog, "second");
  });
  // Asked on the GUI thread itself this time: it is shown there directly.
  EXPECT_EQ(ui.prompt(bare, nullptr), kPromptSecond);
  EXPECT_TRUE(driver.acted());
  EXPECT_EQ(captions[0], "");
  EXPECT_EQ(captions[1], "");
}

TEST(PromptEntryTest, HandsBackAtMost600BytesEndingOnAWholeCharacter) {
  struct Case {
    const char* name;
    std::string typed;
    std::string expected;
  };
  std::string accented;  // "a" then 350 two-byte letters: byte 600 falls inside one
  accented = "a";
  for (int i = 0; i < 350; ++i)
    accented += "\xC3\xA9";
  const Case cases[] = {
      {"ascii", std::string(700, 'x'), std::string(600, 'x')},
      {"exactly600", std::string(600, 'y'), std::string(600, 'y')},
      {"splitCharacterLeftOut", accented, accented.substr(0, 599)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    PromptRequest request;
    request.message = "Name of the playlist";
    request.firstCaption = "OK";
    request.secondCaption = "Cancel";
    request.style = PromptStyle::SmallTextEntry;
    DialogDriver driver([&c](QWidget* dialog) {
      dialog->findChild<QLineEdit*>("entry")->setText(QString::fromStdString(c.typed));
      click(dialog, "first");
    });
    std::string entered;
    EXPECT_EQ(runPromptDialog(request, &entered), kPromptFirst);
    EXPECT_EQ(entered, c.expected);
  }
}

// ---- the rating keypad ----

struct KeypadCase {
  const char* name;
  const char* button;  // nullptr: Escape
  uint32_t answer;
};

class KeypadAnswerTest : public DialogTest, public ::testing::WithParamInterface<KeypadCase> {};

TEST_P(KeypadAnswerTest, AnswersAndKeepsTheResultForTheRatingCommand) {
  const KeypadCase& c = GetParam();
  app.prompts.result = 99;  // an older answer
  uint32_t openWhileShown = 0;
  uint32_t resultWhileShown = 99;
  DialogDriver driver([&](QWidget* dialog) {
    openWhileShown = app.prompts.dialogOpen.load();
    resultWhileShown = app.prompts.result.load();
    if (c.button)
      click(dialog, c.button);
    else
      pressEscape(dialog);
  });
  EXPECT_EQ(askFromWorker([this] { return ui.ratingKeypad(); }), c.answer);
  EXPECT_EQ(openWhileShown, 1u);
  EXPECT_EQ(resultWhileShown, kPromptNone);
  EXPECT_EQ(app.prompts.dialogOpen.load(), 0u);
  EXPECT_EQ(app.prompts.result.load(), c.answer);
}

INSTANTIATE_TEST_SUITE_P(
    Keypad, KeypadAnswerTest,
    ::testing::Values(KeypadCase{"zero", "rating0", kKeypadRating}, KeypadCase{"seven", "rating7", kKeypadRating + 7},
                      KeypadCase{"ten", "rating10", kKeypadRating + 10}, KeypadCase{"delete", "ratingD", kKeypadDelete},
                      KeypadCase{"cancel", "cancel", kPromptSecond}, KeypadCase{"escape", nullptr, kPromptSecond}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(KeypadLookTest, ThreeColumnsFromTenDownThenAFullWidthCancel) {
  DialogDriver driver([](QWidget* dialog) {
    EXPECT_EQ(dialog->windowTitle(), "");
    EXPECT_EQ(dialog->font().family(), "Times New Roman");
    EXPECT_EQ(dialog->font().pointSize(), 14);
    auto* grid = qobject_cast<QGridLayout*>(dialog->layout());
    ASSERT_NE(grid, nullptr);
    const char* order[] = {"10", "9", "8", "7", "6", "5", "4", "3", "2", "1", "0", "D"};
    int row = 0, column = 0, rows = 0, columns = 0;
    for (int i = 0; i < 12; ++i) {
      QPushButton* b = button(dialog, (std::string("rating") + order[i]).c_str());
      ASSERT_NE(b, nullptr);
      EXPECT_EQ(b->text(), order[i]);
      grid->getItemPosition(grid->indexOf(b), &row, &column, &rows, &columns);
      EXPECT_EQ(row, i / 3) << order[i];
      EXPECT_EQ(column, i % 3) << order[i];
    }
    QPushButton* cancel = button(dialog, "cancel");
    ASSERT_NE(cancel, nullptr);
    EXPECT_EQ(cancel->text(), "Cancel");
    grid->getItemPosition(grid->indexOf(cancel), &row, &column, &rows, &columns);
    EXPECT_EQ(row, 4);
    EXPECT_EQ(column, 0);
    EXPECT_EQ(columns, 3);
    saveScreenshot(dialog, "rating_keypad.png");
    click(dialog, "cancel");
  });
  EXPECT_EQ(runRatingKeypad(), kPromptSecond);
  EXPECT_TRUE(driver.acted());
}

// ---- Welcome and About ----

struct WelcomeCase {
  const char* name;
  const char* button;  // nullptr: Escape
  uint32_t answer;
};

class WelcomeAnswerTest : public DialogTest, public ::testing::WithParamInterface<WelcomeCase> {};

TEST_P(WelcomeAnswerTest, AnswersWithTheButtonPressed) {
  const WelcomeCase& c = GetParam();
  uint32_t openWhileShown = 0;
  DialogDriver driver([&](QWidget* dialog) {
    openWhileShown = app.prompts.dialogOpen.load();
    if (c.button)
      click(dialog, c.button);
    else
      pressEscape(dialog);
  });
  EXPECT_EQ(askFromWorker([this] { return ui.showWelcome(); }), c.answer);
  EXPECT_EQ(openWhileShown, 1u);
  EXPECT_EQ(app.prompts.dialogOpen.load(), 0u);
}

INSTANTIATE_TEST_SUITE_P(Welcome, WelcomeAnswerTest,
                         ::testing::Values(WelcomeCase{"importNow", "first", kPromptFirst},
                                           WelcomeCase{"otherPlans", "second", kPromptSecond},
                                           WelcomeCase{"escape", nullptr, kPromptSecond}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(WelcomeLookTest, ShowsItsTextCaptionsAndTooltips) {
  DialogDriver driver([](QWidget* dialog) {
    EXPECT_EQ(dialog->windowTitle(), "Welcome to Plinka 1.4");
    auto* text = dialog->findChild<QLabel*>("text");
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(text->text(), "Plinka is almost ready to deliver music to you the way you like it.");
    struct Expected {
      const char* name;
      const char* caption;
      const char* tooltip;
    };
    const Expected buttons[] = {
        {"first", "Import music now", "Importing music now from a directory"},
        {"second", "No, I have other plans", "Importing is necesary for Plinka to work, but it can be done later"}};
    for (const Expected& e : buttons) {
      QPushButton* b = button(dialog, e.name);
      ASSERT_NE(b, nullptr);
      EXPECT_EQ(b->text(), e.caption);
      EXPECT_EQ(b->toolTip(), e.tooltip);
      EXPECT_EQ(b->font().family(), "Arial");
      EXPECT_EQ(b->font().pixelSize(), 25);
    }
    expectLaidOutUnclipped(dialog);
    saveScreenshot(dialog, "welcome.png");
    click(dialog, "second");
  });
  EXPECT_EQ(runWelcome(), kPromptSecond);
  EXPECT_TRUE(driver.acted());
}

TEST(AboutTest, ShowsTheNameAndVersion) {
  QStringList texts;
  QString title;
  DialogDriver driver([&](QWidget* dialog) {
    title = dialog->windowTitle();
    for (QLabel* label : dialog->findChildren<QLabel*>())
      texts << label->text();
    expectLaidOutUnclipped(dialog);
    saveScreenshot(dialog, "about.png");
    click(dialog, "ok");
  });
  runAbout();
  EXPECT_TRUE(driver.acted());
  EXPECT_EQ(title, "About Plinka");
  EXPECT_TRUE(texts.contains("Plinka 1.4 (Revision 1)")) << texts.join(" | ").toStdString();
}

// ---- folder chooser and help file ----

TEST_F(DialogTest, FolderChooserHandsBackTheChosenFolderOrNothing) {
  test::TempDir folder;
  const QString music = QString::fromStdString(folder.path()) + "Music";
  ASSERT_TRUE(QDir().mkpath(music));
  for (const bool accept : {false, true}) {
    SCOPED_TRACE(accept ? "chosen" : "cancelled");
    DialogDriver driver([&](QWidget* dialog) {
      auto* chooser = qobject_cast<QFileDialog*>(dialog);
      ASSERT_NE(chooser, nullptr);
      EXPECT_EQ(chooser->windowTitle(), "Choose Folder");
      EXPECT_EQ(chooser->fileMode(), QFileDialog::Directory);
      if (accept) {
        chooser->setDirectory(music);
        static_cast<QDialog*>(chooser)->accept();  // the chooser's own accept checks the folder
      } else {
        chooser->reject();
      }
    });
    std::string path = folder.path();
    const uint32_t chosen = askFromWorker([&] { return ui.chooseFolder(path) ? 1u : 0u; });
    EXPECT_TRUE(driver.acted());
    EXPECT_EQ(chosen, accept ? 1u : 0u);
    EXPECT_EQ(path, accept ? music.toStdString() : folder.path());
  }
}

TEST_F(DialogTest, HelpOpensTheReadMeOfTheProgramFolder) {
  app.folders.program = kResources;
  // The desktop's opener is replaced by a browser that records what it was
  // asked to show.
  QTextBrowser viewer;
  QDesktopServices::setUrlHandler("file", &viewer, "setSource");
  std::thread worker([this] { ui.openHelp(); });
  worker.join();
  const bool opened = processUntil([&] { return !viewer.source().isEmpty(); });
  QDesktopServices::unsetUrlHandler("file");
  ASSERT_TRUE(opened);
  EXPECT_EQ(viewer.source(), QUrl::fromLocalFile(QString::fromStdString(kResources + "ReadMe.htm")));
  EXPECT_TRUE(viewer.toPlainText().contains("Plinka"));
}

// The fatal start-up questions ask for the help file or the program folder
// on the GUI thread just before the program ends, with no event loop to
// come: both are opened before the call returns.
TEST_F(DialogTest, HelpAndFolderOpenAtOnceOnTheGuiThread) {
  app.folders.program = kResources;
  QTextBrowser viewer;
  QDesktopServices::setUrlHandler("file", &viewer, "setSource");
  ui.openHelp();
  const QUrl help = viewer.source();
  ui.openFolder(kResources);
  const QUrl folder = viewer.source();
  QDesktopServices::unsetUrlHandler("file");
  EXPECT_EQ(help, QUrl::fromLocalFile(QString::fromStdString(kResources + "ReadMe.htm")));
  EXPECT_EQ(folder, QUrl::fromLocalFile(QString::fromStdString(kResources)));
}

// ---- toolbar pictures and the program icon ----

TEST(ToolbarImagesTest, TheShippedStripHoldsThirteenPicturesInOrder) {
  std::vector<QPixmap> images;
  ASSERT_TRUE(loadToolbarImages(kResources, images));
  ASSERT_EQ(images.size(), 13u);
  // A 24-bit bitmap: the bit count sits at byte 28 of the file.
  const std::string file = test::readFile(kResources + "ToolBar.bmp");
  ASSERT_GT(file.size(), 30u);
  EXPECT_EQ(file[28], 24);
  const QRgb background = QImage(QString::fromStdString(kResources + "ToolBar.bmp")).pixel(0, 0);
  for (size_t i = 0; i < images.size(); ++i) {
    ASSERT_EQ(images[i].size(), QSize(20, 20)) << i;
    const QImage picture = images[i].toImage();
    bool drawn = false;
    for (int y = 0; y < 20 && !drawn; ++y)
      for (int x = 0; x < 20 && !drawn; ++x)
        drawn = picture.pixel(x, y) != background;
    // Picture 8 is the unused one; every other holds a drawing.
    EXPECT_EQ(drawn, i != 8) << "picture " << i;
  }
}

TEST(ToolbarImagesTest, RefusesAMissingUnreadableOrTooSmallStrip) {
  struct Case {
    const char* name;
    int width;  // 0: no file; -1: a file that is no picture
    int height;
  };
  const Case cases[] = {{"missing", 0, 0}, {"notAPicture", -1, 0}, {"twelvePictures", 240, 20}, {"tooLow", 260, 19}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    test::TempDir folder;
    if (c.width < 0) {
      test::writeFile(folder.file("ToolBar.bmp"), "BM not really a bitmap");
    } else if (c.width > 0) {
      QImage strip(c.width, c.height, QImage::Format_RGB888);
      strip.fill(Qt::gray);
      ASSERT_TRUE(strip.save(QString::fromStdString(folder.file("ToolBar.bmp")), "BMP"));
    }
    std::vector<QPixmap> images(3);
    EXPECT_FALSE(loadToolbarImages(folder.path(), images));
    EXPECT_TRUE(images.empty());
  }
}

TEST(ProgramIconTest, IsBuiltIntoTheProgram) {
  const QIcon icon = programIcon();
  ASSERT_FALSE(icon.isNull());
  EXPECT_EQ(icon.pixmap(32, 32).size(), QSize(32, 32));
}

}  // namespace
}  // namespace plinka::gui
