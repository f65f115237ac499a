// A fresh App in filler mode over a song table of real song files in a
// temporary folder, and an empty folder to fill.
#pragma once

#include "app/app.h"
#include "filler/fill_run.h"
#include "support/fake_ui.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace plinka::test {

class FillTest : public ::testing::Test {
protected:
  FillTest();

  // Makes `count` songs "song<k>.mp3" of `bytes` bytes each in the media
  // folder (sparse when `sparse`, so a big song costs no disk) and a song
  // table of them: all ripe, rating 5 for every user unless `scoreOf`
  // gives user u's Score.
  void makeSongs(uint32_t count, uint64_t bytes, bool sparse = false,
                 const std::function<uint32_t(uint32_t user)>& scoreOf = nullptr);

  // A job into the fill folder with the given budget.
  filler::FillJob job(uint64_t budgetKb, bool addNumber = true) const;

  // The file names in `folder`, sorted.
  static std::vector<std::string> filesIn(const std::string& folder);

  // The titles the run showed, in order.
  std::vector<std::string> titles();

  TempDir data;
  TempDir media;
  TempDir target;
  FakeUi ui;  // outlives the App
  std::unique_ptr<App> app;
  std::vector<std::string> songPaths;
};

// A copy stand-in that makes the target as a sparse file of the source's
// size (no bytes moved), failing with `failWith` from copy number `failFrom`
// on (1-based; 0 never).
filler::SongCopier sparseCopier(uint32_t failFrom = 0, filler::CopyEnd failWith = filler::CopyEnd::MediumFull);

}  // namespace plinka::test
