// Sound-card input of the emulated instrument: ALSA capture on the default
// PCM (or the PCM named by VKVX_AUDIO_DEVICE), 2 channels, 44100 samples per
// second, 16 bits.  Two buffers play the role of the queued capture headers:
// a capture thread fills whichever buffer is queued, marks it as the most
// recently filled one and signals the consumer; the consumer hands the other
// buffer back to the queue.  With no buffer queued the thread keeps reading
// into a scratch buffer and drops that sound, as a card with an empty queue
// does.
#pragma once

#include <alsa/asoundlib.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

namespace vkvx {

class AudioInput {
public:
    AudioInput() = default;
    ~AudioInput() { close(); }
    AudioInput(const AudioInput&) = delete;
    AudioInput& operator=(const AudioInput&) = delete;

    // Opens the input with two buffers of framesPerBuffer stereo frames and
    // starts recording.  0, or a negative ALSA error code (nothing left open).
    int open(uint32_t framesPerBuffer);
    bool isOpen() const { return pcm_ != nullptr; }
    // Stops recording, frees the buffers and closes the input.
    void close();

    // Waits up to timeout_ms for the next filled buffer (auto-reset event).
    bool waitFilled(int timeout_ms);
    // Queues the buffer that is not the most recently filled one again.
    void requeueOther();
    // The most recently filled buffer: interleaved stereo samples.
    const int16_t* latest() const;
    // Samples (both channels) per buffer.
    size_t samplesPerBuffer() const { return buffers_[0].size(); }

private:
    enum class State { Queued, Filling, Done };
    void captureLoop();
    bool fill(int16_t* data, size_t frames);

    snd_pcm_t* pcm_ = nullptr;
    std::vector<int16_t> buffers_[2];
    std::vector<int16_t> scratch_;
    State state_[2] = {State::Queued, State::Queued};
    int latest_ = -1;
    bool signalled_ = false;
    std::atomic<bool> stop_{false};
    std::thread thread_;
    mutable std::mutex mutex_;
    std::condition_variable filled_;
};

}  // namespace vkvx
