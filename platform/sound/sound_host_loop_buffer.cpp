// The host's looping buffer: Lock and Commit go to the ring, playing starts the output stream.
#include "platform/sound/sound_host_loop_buffer.h"

#include <utility>

CHostLoopBuffer::CHostLoopBuffer(std::unique_ptr<CHostSoundOutput> output)
    : output(std::move(output)) {}

CHostLoopBuffer::~CHostLoopBuffer() { output->Close(); }

// The format of a looping buffer is fixed when it is created.
bool CHostLoopBuffer::ApplyFormat(const SoundFormat&) { return false; }

bool CHostLoopBuffer::Lock(std::uint32_t offset, std::uint32_t byteCount, SoundRegion* first,
                           SoundRegion* second) {
  return output->GetRing().Lock(offset, byteCount, first, second);
}

void CHostLoopBuffer::Commit(const SoundRegion& first, const SoundRegion& second) {
  output->GetRing().Commit(first, second);
}

bool CHostLoopBuffer::PlayLooping() { return output->Start(); }

bool CHostLoopBuffer::ReadPlayPosition(std::uint32_t* position) {
  if (!position) return false;
  *position = output->GetRing().GetPlayPosition();
  return true;
}

// Our memory is never taken away, so there is nothing to restore.
bool CHostLoopBuffer::Recover() { return true; }

bool CHostLoopBuffer::StopPlaying() {
  output->Close(true);
  return true;
}
