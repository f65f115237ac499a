// The settings record: every user setting in one fixed 7000-byte layout that
// is also the settings file's format (after the 8-byte magic). Offsets are
// binding, so the struct is packed and each field's offset is checked below.
//
// Threads: the record is the settings file's image. Words that threads share
// while the program runs (the per-State user and alt mode, hashStat, the
// re-buffer value, randomState, localBufferCount) have atomic twins (see
// core/settings_shared.h), which are the values while it runs; currentState
// is read and written atomically in place (play/current_state.h). The build
// pass owns its memory lists and buildTime (changed under the image lock),
// the player lastSongIndex. While the threads run, databasePath is changed
// only by the database switch (db/database_switch.h), on a job thread that
// holds exclusive use of the song table. The other words and the texts are
// written on the GUI thread (start-up, menus, the option windows) and read
// by any thread.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>

namespace plinka {

// The first bytes of the settings file (and of the filler's own settings
// file), stored without the terminator.
constexpr const char kSettingsMagic[] = "PLIN1401";

static_assert(std::endian::native == std::endian::little, "the settings file is little-endian");

constexpr int kStateCount = 10;
constexpr int kUserCount = 10;
// The alt modes that follow a pattern of users: 1 to kAltModeCount, mode k
// with the pattern in slot k - 1. Mode 0 is the single-user mode, named but
// without a pattern.
constexpr int kAltModeCount = 10;
constexpr int kNameSize = 50;
constexpr int kPathSize = 600;

// The record's `levelling`: how the loudness of songs is evened out.
enum class Levelling : uint32_t {
  Off = 0,
  BySong = 1,
  ByAlbum = 2,
};
constexpr uint32_t kLevellingChoices = 3;
// stateVolumeCut's whole range: the cut of a silent volume.
constexpr uint32_t kVolumeCutRange = 1000;

// Bits of `newTypesOff` (settings record and filler block): one per media
// type added after the first nine. A set bit switches the type off.
constexpr uint32_t kNewTypeBitFlac = 1u << 0;
constexpr uint32_t kNewTypeBitOgg = 1u << 1;
constexpr uint32_t kNewTypeBitOpus = 1u << 2;
constexpr uint32_t kNewTypeBitM4a = 1u << 3;
constexpr uint32_t kNewTypeBitAac = 1u << 4;
constexpr uint32_t kNewTypeBitMp4 = 1u << 5;
constexpr uint32_t kNewTypeBitMkv = 1u << 6;
constexpr uint32_t kNewTypeBitWebm = 1u << 7;

// Packed: many words lie at offsets that are not a multiple of four. They
// are read and written by value; a reference to one (a test's EXPECT_EQ
// binds its arguments by reference, hence the `+field` there) would be
// misaligned.
#pragma pack(push, 1)

// Window placement in the layout of a WINDOWPLACEMENT: all 32-bit.
struct WindowPlacement {
  int32_t length;
  int32_t flags;
  int32_t showCommand;
  int32_t minX, minY;
  int32_t maxX, maxY;
  int32_t left, top, right, bottom;
};
// WindowPlacement::showCommand: the window shown normally, or maximised.
constexpr int32_t kShowNormal = 1;
constexpr int32_t kShowMaximised = 3;

// The Media Filler's 1000-byte settings block (also stored alone in
// "dPkFill.dat").
struct FillerSettings {
  uint32_t fillSize;  // index 0..7 of the "Fill Size" list
  uint32_t typeMp3, typeAvi, typeWav, typeMpeg, typeMidi, typeWma, typeAsf, typeWmv;
  uint32_t typeAll;
  uint32_t playUpTo;   // O-Scale limit 0..3
  uint32_t minRating;  // 0..10
  uint32_t user;       // 0..9
  uint32_t userMode;   // alt mode 0..9
  uint32_t emptyDir;
  uint32_t addNumber;
  // The types added after the first nine, by bit (kNewTypeBit...): a set bit
  // switches that type off, so blocks written before they existed (zeros
  // here) get every new type on.
  uint32_t newTypesOff;
  uint8_t reserved68[12];
  char fillDirectory[kPathSize];
  uint8_t reserved680[4];
  uint32_t rebufferValue;  // the buffer cache's re-buffer value, kept here
  uint8_t reserved688[312];
};

// Aligned on 4 bytes (the file layout is unchanged) so that the words at
// offsets that are multiples of four can be used atomically in place.
struct alignas(4) SettingsRecord {
  uint32_t coverArt;
  uint32_t currentState;
  uint32_t prepareCount;
  uint32_t typeAll;
  uint32_t maximised;
  uint32_t onTop;
  uint32_t fullMovie;
  uint32_t trayMinimise;
  char databasePath[kPathSize];
  uint32_t coverChoice;
  uint32_t dbWindowOption;
  uint8_t reserved640[12];
  uint32_t oldStateUser;
  uint8_t reserved656[4];
  uint32_t autoPlay;
  uint32_t autoMini;
  uint8_t reserved668[4];
  uint32_t typeMp3, typeAvi, typeWav, typeMpeg, typeMidi, typeWma, typeAsf, typeWmv;
  // The file-type filters of the types added after the first nine, by bit
  // (kNewTypeBit...): a set bit switches the type off, so settings files
  // written before they existed (zeros here) get every new type on.
  uint32_t newTypesOff;
  uint8_t reserved708[20];
  uint32_t oldStatePlayUpTo;
  uint32_t columnWidth[5];
  uint8_t reserved752[12];
  char userName[kUserCount][kNameSize];
  char altModeName[kAltModeCount + 1][kNameSize];
  char altModePattern[kAltModeCount][kNameSize];
  uint32_t ratingValue[10];
  uint32_t targetValue;
  uint32_t defaultImportValue;
  uint8_t reserved2362[4];
  uint32_t dirToId;
  uint32_t oldStateMinRating;
  uint32_t oldStateNoArtistRepeat;
  int32_t lastSongIndex[10];
  uint32_t recentSongs[10];
  uint32_t historySongs[100];
  char recentArtists[20][70];
  uint8_t reserved4258[40];
  WindowPlacement windowPlacement;
  uint32_t randomState;
  uint32_t networkMode;
  uint32_t buildTime;
  uint32_t quickLinkChoice;
  uint32_t autoBuild;
  uint32_t markVideo;
  char importSource[kPathSize];
  uint32_t lameCheck;
  uint32_t showRate;
  char stateName[kStateCount][kNameSize];
  uint32_t stateUser[kStateCount];
  uint32_t stateAltMode[kStateCount];
  uint32_t statePlayUpTo[kStateCount];
  uint32_t stateMinRating[kStateCount];
  uint32_t stateNoArtistRepeat[kStateCount];
  uint32_t stateHistory[kStateCount];
  uint32_t bufferMode;
  uint32_t bufferSize;
  int32_t localBufferCount;
  uint32_t autoRate;
  uint32_t shutdownAfterBuild;
  uint32_t hashStat;
  uint32_t autoRateSpeed;
  uint32_t localDbFlag;
  uint8_t reserved5746[28];
  FillerSettings fillerSettings;
  uint8_t reserved6774[2];
  // Per State: how far the volume is turned down, in thousandths of the
  // volume slider's travel (its cubic scale): 0 = full volume, 1000 = silent.
  // Zero in files written before volume existed, so they play at full volume.
  uint32_t stateVolumeCut[kStateCount];
  // Loudness levelling (Levelling): 0 = Off, so older files play unlevelled.
  uint32_t levelling;
  uint8_t reserved6820[180];
};

#pragma pack(pop)

static_assert(sizeof(WindowPlacement) == 44);
static_assert(sizeof(FillerSettings) == 1000);
static_assert(offsetof(FillerSettings, typeAll) == 36);
static_assert(offsetof(FillerSettings, newTypesOff) == 64);
static_assert(offsetof(FillerSettings, playUpTo) == 40);
static_assert(offsetof(FillerSettings, userMode) == 52);
static_assert(offsetof(FillerSettings, addNumber) == 60);
static_assert(offsetof(FillerSettings, fillDirectory) == 80);
static_assert(offsetof(FillerSettings, rebufferValue) == 684);

static_assert(sizeof(SettingsRecord) == 7000);
static_assert(alignof(SettingsRecord) == 4);
static_assert(offsetof(SettingsRecord, coverArt) == 0);
static_assert(offsetof(SettingsRecord, currentState) == 4);
static_assert(offsetof(SettingsRecord, prepareCount) == 8);
static_assert(offsetof(SettingsRecord, typeAll) == 12);
static_assert(offsetof(SettingsRecord, maximised) == 16);
static_assert(offsetof(SettingsRecord, onTop) == 20);
static_assert(offsetof(SettingsRecord, fullMovie) == 24);
static_assert(offsetof(SettingsRecord, trayMinimise) == 28);
static_assert(offsetof(SettingsRecord, databasePath) == 32);
static_assert(offsetof(SettingsRecord, coverChoice) == 632);
static_assert(offsetof(SettingsRecord, dbWindowOption) == 636);
static_assert(offsetof(SettingsRecord, oldStateUser) == 652);
static_assert(offsetof(SettingsRecord, autoPlay) == 660);
static_assert(offsetof(SettingsRecord, autoMini) == 664);
static_assert(offsetof(SettingsRecord, typeMp3) == 672);
static_assert(offsetof(SettingsRecord, typeAvi) == 676);
static_assert(offsetof(SettingsRecord, typeWav) == 680);
static_assert(offsetof(SettingsRecord, typeMpeg) == 684);
static_assert(offsetof(SettingsRecord, typeMidi) == 688);
static_assert(offsetof(SettingsRecord, typeWma) == 692);
static_assert(offsetof(SettingsRecord, typeAsf) == 696);
static_assert(offsetof(SettingsRecord, typeWmv) == 700);
static_assert(offsetof(SettingsRecord, newTypesOff) == 704);
static_assert(offsetof(SettingsRecord, oldStatePlayUpTo) == 728);
static_assert(offsetof(SettingsRecord, columnWidth) == 732);
static_assert(offsetof(SettingsRecord, userName) == 764);
static_assert(offsetof(SettingsRecord, altModeName) == 1264);
static_assert(offsetof(SettingsRecord, altModePattern) == 1814);
static_assert(offsetof(SettingsRecord, ratingValue) == 2314);
static_assert(offsetof(SettingsRecord, targetValue) == 2354);
static_assert(offsetof(SettingsRecord, defaultImportValue) == 2358);
static_assert(offsetof(SettingsRecord, dirToId) == 2366);
static_assert(offsetof(SettingsRecord, oldStateMinRating) == 2370);
static_assert(offsetof(SettingsRecord, oldStateNoArtistRepeat) == 2374);
static_assert(offsetof(SettingsRecord, lastSongIndex) == 2378);
static_assert(offsetof(SettingsRecord, recentSongs) == 2418);
static_assert(offsetof(SettingsRecord, historySongs) == 2458);
static_assert(offsetof(SettingsRecord, recentArtists) == 2858);
static_assert(offsetof(SettingsRecord, windowPlacement) == 4298);
static_assert(offsetof(SettingsRecord, randomState) == 4342);
static_assert(offsetof(SettingsRecord, networkMode) == 4346);
static_assert(offsetof(SettingsRecord, buildTime) == 4350);
static_assert(offsetof(SettingsRecord, quickLinkChoice) == 4354);
static_assert(offsetof(SettingsRecord, autoBuild) == 4358);
static_assert(offsetof(SettingsRecord, markVideo) == 4362);
static_assert(offsetof(SettingsRecord, importSource) == 4366);
static_assert(offsetof(SettingsRecord, lameCheck) == 4966);
static_assert(offsetof(SettingsRecord, showRate) == 4970);
static_assert(offsetof(SettingsRecord, stateName) == 4974);
static_assert(offsetof(SettingsRecord, stateUser) == 5474);
static_assert(offsetof(SettingsRecord, stateAltMode) == 5514);
static_assert(offsetof(SettingsRecord, statePlayUpTo) == 5554);
static_assert(offsetof(SettingsRecord, stateMinRating) == 5594);
static_assert(offsetof(SettingsRecord, stateNoArtistRepeat) == 5634);
static_assert(offsetof(SettingsRecord, stateHistory) == 5674);
static_assert(offsetof(SettingsRecord, bufferMode) == 5714);
static_assert(offsetof(SettingsRecord, bufferSize) == 5718);
static_assert(offsetof(SettingsRecord, localBufferCount) == 5722);
static_assert(offsetof(SettingsRecord, autoRate) == 5726);
static_assert(offsetof(SettingsRecord, shutdownAfterBuild) == 5730);
static_assert(offsetof(SettingsRecord, hashStat) == 5734);
static_assert(offsetof(SettingsRecord, autoRateSpeed) == 5738);
static_assert(offsetof(SettingsRecord, localDbFlag) == 5742);
static_assert(offsetof(SettingsRecord, fillerSettings) == 5774);
static_assert(offsetof(SettingsRecord, fillerSettings) + offsetof(FillerSettings, rebufferValue) == 6458);
static_assert(offsetof(SettingsRecord, stateVolumeCut) == 6776);
static_assert(offsetof(SettingsRecord, levelling) == 6816);

}  // namespace plinka
