// Where a RIFF or RF64 WAVE file's data chunk starts and what size its
// header states, found by walking the chunks with seeks, so that any number
// and size of chunks before the data is passed. The replay needs the two
// numbers that libsndfile keeps to itself: a stated size of 0 (a writer that
// never came back to its header) means "to the end of the file", and a
// stated size beyond the end of the file means the file was cut short.
#pragma once

#include <cstdint>
#include <cstdio>

struct WavDataChunk {
  uint64_t offset = 0;      // bytes before the first frame
  uint64_t statedSize = 0;  // the data size the header states (RF64: the ds64 chunk's)
  bool rf64 = false;
};

/// Walks the chunks of the file open in `file` from its start. Returns true
/// and fills `chunk` when a "data" chunk is found; false for anything that is
/// not RIFF/RF64/BW64 WAVE, or whose data chunk cannot be reached. Leaves the
/// file position anywhere.
bool FindWavDataChunk(std::FILE* file, WavDataChunk& chunk);
