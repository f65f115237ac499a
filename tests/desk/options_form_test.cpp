// The Options window's values: reading them, checking what was typed,
// storing them, the State change made from the window and "Reset".
#include "app/settings_file.h"
#include "window_fixture.h"

#include "app/scheduler.h"
#include "core/current_state.h"
#include "desk/options_form.h"
#include "desk/popup_menu.h"
#include "desk/state_switch.h"
#include "desk/window_commands.h"
#include "library/edit_queue.h"
#include "library/media_types.h"
#include "text/text.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <limits>
#include <optional>
#include <string>
#include <vector>

namespace plinka::test {
namespace {

using Field = OptionsRefusal::Field;

class OptionsFormTest : public WindowTest {};

TEST_F(OptionsFormTest, TypedPrepareCounts) {
  struct Case {
    const char* typed;
    std::optional<uint32_t> count;
  };
  const Case cases[] = {
      {"250", 250u},
      {" 40 ", 40u},
      {"0", 0u},
      {"abc", 0u},
      {"", 0u},
      {"12abc", 0u},
      {"-5", 0u},
      {"4294967295", std::numeric_limits<uint32_t>::max()},
      {"4294967296", std::nullopt},
      {"99999999999999999999999", std::nullopt},
  };
  for (const Case& c : cases)
    EXPECT_EQ(prepareCountOf(c.typed), c.count) << '"' << c.typed << '"';
}

TEST_F(OptionsFormTest, StoresWhatTheWindowShows) {
  OptionsForm form = readOptions(*app);
  EXPECT_EQ(form.userNames[2], "Three");
  EXPECT_EQ(form.altModeNames[0], "Two") << "entry 0 is alt mode 1";
  EXPECT_EQ(form.altModePatterns[0], "12");
  EXPECT_EQ(form.prepare, "100");
  EXPECT_TRUE(form.choices.history);

  form.userNames[2] = "Dora";
  form.altModeNames[8] = "Evens";
  form.altModePatterns[8] = "2468";
  form.prepare = "abc";
  form.types[static_cast<int>(FileType::Wma)] = false;
  EXPECT_TRUE(form.types[static_cast<int>(FileType::Opus)]) << "a record with no later-type bits has them on";
  form.types[static_cast<int>(FileType::Opus)] = false;
  form.choices.playUpTo = 2;
  form.choices.minRating = 7;
  form.choices.history = false;
  form.autoRate = true;
  form.onTop = true;
  form.coverArt = false;
  const OptionsStored stored = storeOptions(*app, form);
  ASSERT_FALSE(stored.refused);
  EXPECT_TRUE(stored.onTopChanged);
  EXPECT_TRUE(stored.coverArtChanged);

  const SettingsRecord& s = app->settings;
  EXPECT_STREQ(s.userName[2], "Dora");
  EXPECT_STREQ(s.altModeName[9], "Evens");
  EXPECT_STREQ(s.altModePattern[8], "2468");
  EXPECT_EQ(+s.prepareCount, 0u) << "text that is not a number stores 0";
  EXPECT_EQ(+s.typeWma, 0u);
  EXPECT_EQ(+s.newTypesOff, kNewTypeBitOpus) << "only Opus is switched off";
  EXPECT_EQ(library::mediaType(s, "/music/a.opus"), library::kMediaNone);
  EXPECT_EQ(library::mediaType(s, "/music/a.flac"), library::kMediaFlac);
  EXPECT_EQ(+s.statePlayUpTo[0], 2u);
  EXPECT_EQ(+s.stateMinRating[0], 7u);
  EXPECT_EQ(+s.stateHistory[0], 0u);
  EXPECT_EQ(+s.autoRate, 1u);
  EXPECT_EQ(+s.onTop, 1u);
  EXPECT_EQ(pictureSetting(*app, PictureSetting::CoverArt), 0u);
  EXPECT_EQ(library::mediaType(s, "/music/a.wma"), library::kMediaNone) << "the builder's next pass sees the filter";
  ASSERT_FALSE(ui.statuses.empty()) << "the status texts are refreshed";

  // A shorter name leaves nothing of the longer one behind in its slot.
  form = readOptions(*app);
  form.userNames[2] = "Di";
  storeOptions(*app, form);
  EXPECT_EQ(std::memcmp(s.userName[2], "Di\0\0\0", 5), 0);
}

TEST_F(OptionsFormTest, BufferIsKeptOnlyWithNetwork) {
  struct Case {
    bool network, buffer;
    uint32_t bufferMode;
  };
  for (const Case& c : {Case{false, true, 0}, Case{true, true, 1}, Case{true, false, 0}, Case{false, false, 0}}) {
    OptionsForm form = readOptions(*app);
    form.network = c.network;
    form.buffer = c.buffer;
    storeOptions(*app, form);
    EXPECT_EQ(+app->settings.bufferMode, c.bufferMode) << "network " << c.network << ", buffer " << c.buffer;
    EXPECT_EQ(+app->settings.networkMode, c.network ? 1u : 0u);
  }
}

TEST_F(OptionsFormTest, RefusesWhatCannotBeKeptAndStoresNothing) {
  const std::string fifty(50, 'x');
  // Two-byte letters: 25 of them are 50 bytes.
  std::string accented;
  for (int i = 0; i < 25; ++i)
    accented += "\xC3\xA9";
  struct Case {
    const char* name;
    std::function<void(OptionsForm&)> change;
    Field field;
    int index;
    const char* named;
  };
  const Case cases[] = {
      {"user name", [&](OptionsForm& f) { f.userNames[2] = fifty; }, Field::UserName, 2, "user 3"},
      {"accented user name", [&](OptionsForm& f) { f.userNames[9] = accented; }, Field::UserName, 9, "user 10"},
      {"alt mode name", [&](OptionsForm& f) { f.altModeNames[3] = fifty; }, Field::AltModeName, 3, "alt mode 4"},
      {"pattern", [&](OptionsForm& f) { f.altModePatterns[0] = fifty; }, Field::AltModePattern, 0, "alt mode 1"},
      {"prepare", [](OptionsForm& f) { f.prepare = "5000000000"; }, Field::Prepare, 0, "Prepare"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    OptionsForm form = readOptions(*app);
    form.userNames[0] = "Changed";
    form.prepare = "7";
    c.change(form);
    const OptionsStored stored = storeOptions(*app, form);
    ASSERT_TRUE(stored.refused);
    EXPECT_EQ(stored.refused->field, c.field);
    EXPECT_EQ(stored.refused->index, c.index);
    EXPECT_NE(stored.refused->message.find(c.named), std::string::npos) << stored.refused->message;
    EXPECT_STREQ(app->settings.userName[0], "One") << "nothing is stored";
    EXPECT_EQ(+app->settings.prepareCount, 100u);
  }
  // 49 bytes fit.
  OptionsForm form = readOptions(*app);
  form.userNames[2] = std::string(49, 'y');
  EXPECT_FALSE(storeOptions(*app, form).refused);
  EXPECT_EQ(text::fixedText(app->settings.userName[2]), std::string(49, 'y'));
}

TEST_F(OptionsFormTest, AllEnablesEveryTypeAtOnce) {
  OptionsForm form = readOptions(*app);
  form.types.fill(false);
  storeOptions(*app, form);
  const char* files[] = {"a.mp3", "a.avi", "a.wav", "a.mpg", "a.mpeg", "a.mid", "a.wma", "a.asf", "a.wmv"};
  for (const char* file : files)
    EXPECT_EQ(library::mediaType(app->settings, file), library::kMediaNone) << file;
  // "All" takes effect on the click, before OK or Cancel.
  setTypeAll(*app, true);
  for (const char* file : files)
    EXPECT_NE(library::mediaType(app->settings, file), library::kMediaNone) << file;
}

TEST_F(OptionsFormTest, StateChoicesBelongToTheirState) {
  StateChoices loud;
  loud.playUpTo = 3;
  loud.minRating = 10;
  loud.user = 4;
  loud.altMode = 0;
  loud.noArtistRepeat = false;
  loud.history = true;
  storeStateChoices(*app, 1, loud);
  const StateChoices back = readStateChoices(*app, 1);
  EXPECT_EQ(back.playUpTo, 3);
  EXPECT_EQ(back.minRating, 10);
  EXPECT_EQ(back.user, 4);
  EXPECT_FALSE(back.noArtistRepeat);
  EXPECT_TRUE(back.history);
  EXPECT_EQ(app->shared.stateUser[1].load(), 4u) << "the running value";
  EXPECT_EQ(readStateChoices(*app, 0).user, 0) << "other States keep theirs";

  // While a pattern of users is followed the builder moves the user on: a
  // user shown earlier does not overwrite it.
  StateChoices pattern = loud;
  pattern.altMode = 2;
  pattern.user = 0;
  app->shared.stateUser[1] = 6;
  storeStateChoices(*app, 1, pattern);
  EXPECT_EQ(app->shared.stateAltMode[1].load(), 2u);
  EXPECT_EQ(app->shared.stateUser[1].load(), 6u);

  // Values outside the lists (a damaged record, alt mode 10 from the keys)
  // show no entry and are kept.
  app->settings.statePlayUpTo[1] = 9;
  app->shared.stateAltMode[1] = 10;
  const StateChoices odd = readStateChoices(*app, 1);
  EXPECT_EQ(odd.playUpTo, kNoChoice);
  EXPECT_EQ(odd.altMode, kNoChoice);
  storeStateChoices(*app, 1, odd);
  EXPECT_EQ(+app->settings.statePlayUpTo[1], 9u);
  EXPECT_EQ(app->shared.stateAltMode[1].load(), 10u);
}

class OptionsStateTest : public OptionsFormTest {
protected:
  OptionsStateTest() {
    makeSongs({"/music/a.mp3", "/music/b.mp3", "/music/c.mp3", "/music/d.mp3"});
    writeFile(dir.file("PL1.m3u"), "/music/a.mp3\r\n");
    writeFile(dir.file("PL2.m3u"), "/music/b.mp3\r\n/music/c.mp3\r\n");
    listFile("/music/a.mp3");
  }

  // What the window does when another State is chosen in its list: the
  // shown choices go to the State they belong to, the switch is carried
  // out, and the window shows the new State.
  OptionsForm chooseState(OptionsForm form, uint32_t state) {
    storeStateChoices(*app, form.state, form.choices);
    switchState(*app, state);
    awaitStateSwitches(*app);
    form.state = currentStateIndex(*app);
    form.choices = readStateChoices(*app, form.state);
    return form;
  }

  std::vector<MenuEntry> userMenu() {
    const std::vector<MenuEntry> menu = buildPopupMenu(*app, PopupPlace{0, 0, 800, 600});
    for (const MenuEntry& entry : menu)
      if (entry.text == "User")
        return entry.submenu;
    return {};
  }
};

TEST_F(OptionsStateTest, ChangingStateInTheWindowKeepsEachStatesChoicesAndLists) {
  startHeartbeat(*app);
  OptionsForm form = readOptions(*app);
  form.choices.playUpTo = 1;  // changed for State 1, not yet stored
  form = chooseState(form, 1);
  EXPECT_EQ(currentStateIndex(*app), 1u);
  EXPECT_EQ(listedFiles(), (std::vector<std::string>{"/music/b.mp3", "/music/c.mp3"}));
  EXPECT_EQ(readFile(dir.file("PL1.m3u")), "/music/a.mp3\r\n");
  EXPECT_EQ(+app->settings.statePlayUpTo[0], 1u) << "the old State's choices are kept";
  EXPECT_FALSE(form.choices.history) << "the new State's choices are shown";

  // Rename user 3 and choose that user for this State ("Loud"): OK shows
  // the new name in the status bar and the User menu.
  form.userNames[2] = "Dora";
  form.choices.user = 2;
  ASSERT_FALSE(storeOptions(*app, form).refused);
  EXPECT_EQ(ui.locked([&] { return ui.statuses.back().part[3]; }), "User Dora");
  const std::vector<MenuEntry> users = userMenu();
  ASSERT_EQ(users.size(), 10u);
  EXPECT_EQ(users[2].text, "Dora");
  EXPECT_TRUE(users[2].checked);
  EXPECT_EQ(app->shared.stateUser[0].load(), 0u) << "State 1 keeps its user";
}

TEST_F(OptionsStateTest, ResetKeepsTheListsAndTheQueuedEdits) {
  startHeartbeat(*app);
  OptionsForm form = chooseState(readOptions(*app), 1);
  ASSERT_EQ(currentStateIndex(*app), 1u);
  listFile("/music/d.mp3");  // built in State 2 since
  std::strcpy(app->settings.userName[0], "Ann");
  setStateUser(*app, 1, 5);
  app->random.state = 1234;
  library::enqueueEdit(*app, 1, 12, 40, 32, 0);
  library::enqueueEdit(*app, 2, 12, 40, 32, 0);
  const std::string databasePath = app->settings.databasePath;

  const uint32_t state = resetOptions(*app);
  EXPECT_EQ(state, 0u);
  EXPECT_STREQ(app->settings.userName[0], "One");
  EXPECT_EQ(app->shared.stateUser[1].load(), 0u) << "the running value is reset too";
  EXPECT_EQ(currentStateIndex(*app), 1u) << "the State changes only through the switch";
  // The switch the window then makes saves the list of the State left.
  switchState(*app, state);
  awaitStateSwitches(*app);
  EXPECT_EQ(currentStateIndex(*app), 0u);
  EXPECT_EQ(readFile(dir.file("PL2.m3u")), "/music/b.mp3\r\n/music/c.mp3\r\n/music/d.mp3\r\n");
  EXPECT_EQ(listedFiles(), std::vector<std::string>{"/music/a.mp3"});

  EXPECT_EQ(library::editsWaiting(*app), 2) << "queued edits are kept";
  EXPECT_EQ(+settingsImage(*app).localBufferCount, 2);
  EXPECT_EQ(app->random.state.load(), 1234u) << "the random source runs on";
  EXPECT_EQ(app->settings.databasePath, databasePath);
}

}  // namespace
}  // namespace plinka::test
