// Cover art: finds the cover or disc picture beside the current song (or the
// default cover), decodes it once per song into a pixel block, and asks the
// front end to paint it. The loader runs as a short-lived job thread started
// by the heartbeat while an audio song plays.
#pragma once

#include "platform/picture.h"

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

namespace plinka {
struct LibraryContext;
}

namespace plinka::library {

// The picture names searched beside a song, in the data folder and in the
// program folder.
constexpr char kCoverBase[] = "Cover.";
constexpr char kDiscBase[] = "Disc.";
constexpr char kFolderPicture[] = "Folder.jpg";
// Picture endings tried after a base name, in this order.
constexpr const char* kPictureEndings[] = {"jpg", "bmp", "gif"};

// coverChoice values: the cover picture, the disc picture; from
// kCoverChoiceQuickLinks on a quick-link list is shown instead.
constexpr uint32_t kCoverChoiceCover = 1;
constexpr uint32_t kCoverChoiceDisc = 2;
constexpr uint32_t kCoverChoiceQuickLinks = 10;

// Decoding attempts per picture before a load counts as failed.
constexpr int kPictureLoadAttempts = 10;
// Listings of the folder before a random choice gives up.
constexpr int kRandomPictureAttempts = 3;
// Most names a folder listing takes for the random choice.
constexpr size_t kRandomPictureNames = 10000;

// The side a picture is decoded to at most while the front end has not told
// the largest picture area (a terminal front end, tests).
constexpr uint32_t kDecodeSideUntold = 1024;

// Shown once when the loader has failed twice running.
constexpr char kCoverFailedMessage[] = "Not enough Memory for Cover Image";

// The cover loader's flags and the picture it loaded.
struct CoverState {
  // Picture ready, loader running, failures so far. Written by the cover
  // loader and the commands that change the picture; read by the heartbeat.
  std::atomic<uint32_t> ready{0};
  std::atomic<uint32_t> loading{0};
  std::atomic<uint32_t> failures{0};
  // The decoded picture of the current song and the file it came from.
  // Written by the cover loader (and releaseCover) under pictureMutex; read
  // by the front end's painting under pictureMutex once `ready` is 1.
  std::mutex pictureMutex;
  platform::PixelBlock picture;
  std::string picturePath;
  // Counts every change of `picture` (a load, a release), so that the front
  // end scales a picture once for each size it shows it at, not on every
  // paint. Written with `picture` under pictureMutex; read under it.
  uint64_t pictureGeneration = 0;
  // The largest the picture area can be, in device pixels (the front end's
  // screens); a picture larger than that is decoded straight to it. 0 until
  // the front end tells it: then kDecodeSideUntold. Written by the front end
  // (GUI thread); read by the cover loader.
  std::atomic<uint32_t> largestShownSide{0};
  // What the last load found: a cover (or folder) picture, a disc picture,
  // both of them, or only the default cover. Written by the cover loader;
  // read by the picture menu commands and the front end.
  std::atomic<uint32_t> coverFound{0};
  std::atomic<uint32_t> discFound{0};
  std::atomic<uint32_t> bothFound{0};
  std::atomic<uint32_t> defaultCover{0};
};

// Result codes of loadCover.
enum class CoverResult {
  Loaded,      // a picture is ready and a repaint was asked for
  Failed,      // no picture found or none decoded; counted as a failure
  NotNow,      // a video, cover art off, or a job holds the busy code
  Running,     // another loader is under way
  Superseded,  // the song changed during the load; nothing kept or counted
};

// Looks for base + "jpg", "bmp", "gif" in folder (ending in '/'), letters in
// either case. The first that opens for reading wins: true and its full path
// in found.
bool findNamedPicture(const std::string& folder, const char* base, std::string& found);

// Without a base name: "Folder.jpg", else a random "*.jpg", "*.bmp" or
// "*.gif" of the folder (in that order of endings).
bool findFolderPicture(LibraryContext& app, const std::string& folder, std::string& found);

// Lists the regular files of folder whose names end in "." + ending (letters
// in either case), draws one of them and checks that it opens. Returns the
// number of names listed, with the chosen path in found, or 0 when nothing
// matched or three listings gave nothing that opens. A draw of 0 takes the
// first name (names in byte order).
uint32_t randomPicture(LibraryContext& app, const std::string& folder, const char* ending, std::string& found);

// One cover load on the calling thread: takes cover.loading, finds and decodes
// the picture of the current song's file, counts a failure (with the
// one-shot message on the second one running), and clears cover.loading.
CoverResult loadCover(LibraryContext& app);

// The heartbeat's start of the loader: takes cover.loading and runs loadCover's
// work on a job thread. Returns at once.
void startCoverLoader(LibraryContext& app);

// Frees the picture and clears cover.ready.
void releaseCover(LibraryContext& app);

// Copies the current picture for painting: false when none is ready.
bool copyCoverPicture(LibraryContext& app, platform::PixelBlock& out);

}  // namespace plinka::library
