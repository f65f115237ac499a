#include "play/levelling.h"

#include "library/loudness.h"
#include "play/play_context.h"
#include "play/song_details.h"

namespace plinka::play {

platform::Levelling levellingFor(const PlayContext& app, const SongDetails& song) {
  platform::Levelling l;
  const auto mode = static_cast<Levelling>(app.shared.levelling.load());
  if (mode != Levelling::BySong && mode != Levelling::ByAlbum)
    return l;
  l.mode = mode == Levelling::ByAlbum ? platform::Levelling::Mode::Album : platform::Levelling::Mode::Song;
  l.fallbackGainDb = library::unmeasuredGain(app);
  const library::SongLoudness own = library::decodeLoudness(song.loudness);
  const library::SongLoudness album = library::decodeLoudness(song.albumLoudness);
  if (mode == Levelling::ByAlbum && album.hasLevel)
    l.fallbackGainDb = library::gainForLoudness(album.lufs);
  else if (own.hasLevel)
    l.fallbackGainDb = library::gainForLoudness(own.lufs);
  return l;
}

}  // namespace plinka::play
