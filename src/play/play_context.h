// The playing state of one player (the upcoming list, the player, the list
// builder, the song details and quick links), on top of the library state.
#pragma once

#include "library/library_context.h"
#include "play/list_builder.h"
#include "play/player.h"
#include "play/quick_links.h"
#include "play/song_details.h"
#include "play/upcoming_list.h"

#include <atomic>
#include <cstdint>

namespace plinka {

struct PlayContext : LibraryContext {
  // The upcoming list (internally locked).
  play::UpcomingList list;
  // The quick-link lists (guarded by their own mutex, see QuickLinkState).
  play::QuickLinkState quickLinks;

  // Details of the song loaded last, the current song and the next song.
  play::DetailsState details;
  // The list builder's runtime state (each member says who writes and reads it).
  play::BuilderState builder;
  // 1: the State's list file is left as it is when the settings are saved
  // ("Quit but do not save playlist", and the command-line verbs that never
  // loaded the list). Written by those (GUI or main thread); read by the
  // save.
  std::atomic<uint32_t> listFileKept{0};
  // 1: the player plays details.playNowRecord next instead of the top row.
  // Written by "Play Now" and the player; read by the player.
  std::atomic<uint32_t> playNowFlag{0};
  // The player thread's state and its playback service (each member says
  // who writes and reads it).
  play::PlayerState player;
  // 1 while the shutdown prompt is up. Taken by exchange by the shutdown
  // timer's starter, cleared by the timer thread.
  std::atomic<uint32_t> shutdownTimerRunning{0};

  // The run state's listCount follows the upcoming list's length, and the
  // library's questions about the list and the song playing are answered
  // here.
  PlayContext();
};

}  // namespace plinka
