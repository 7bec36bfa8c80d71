#include "platform/AudioInput.h"

#include <cstdlib>

#include "Log.h"

namespace vkvx {

int AudioInput::open(uint32_t framesPerBuffer)
{
    close();
    const char* name = std::getenv("VKVX_AUDIO_DEVICE");
    if (!name || !*name) {
        name = "default";
    }
    snd_pcm_t* pcm = nullptr;
    int rc = snd_pcm_open(&pcm, name, SND_PCM_STREAM_CAPTURE, SND_PCM_NONBLOCK);
    if (rc < 0) {
        return rc;
    }
    // 2 channels, 44100/s, 16 bits: block alignment 4, 176400 bytes/s.
    rc = snd_pcm_set_params(pcm, SND_PCM_FORMAT_S16_LE, SND_PCM_ACCESS_RW_INTERLEAVED, 2, 44100, 1, 500000);
    if (rc < 0) {
        snd_pcm_close(pcm);
        return rc;
    }
    try {
        for (auto& b : buffers_) {
            b.assign(static_cast<size_t>(framesPerBuffer) * 2, 0);
        }
        scratch_.assign(static_cast<size_t>(framesPerBuffer) * 2, 0);
    } catch (const std::bad_alloc&) {
        snd_pcm_close(pcm);
        return -ENOMEM;
    }
    pcm_ = pcm;
    state_[0] = state_[1] = State::Queued;
    latest_ = -1;
    signalled_ = false;
    stop_.store(false);
    VKVX_LOG(log::Info, "ALSA capture Open");
    snd_pcm_start(pcm_);
    thread_ = std::thread([this] { captureLoop(); });
    return 0;
}

void AudioInput::close()
{
    if (!pcm_) {
        return;
    }
    stop_.store(true);
    if (thread_.joinable()) {
        thread_.join();
    }
    snd_pcm_drop(pcm_);
    snd_pcm_close(pcm_);
    pcm_ = nullptr;
    for (auto& b : buffers_) {
        std::vector<int16_t>().swap(b);
    }
    std::vector<int16_t>().swap(scratch_);
    VKVX_LOG(log::Info, "ALSA capture Closed");
}

bool AudioInput::fill(int16_t* data, size_t frames)
{
    size_t done = 0;
    while (done < frames) {
        if (stop_.load()) {
            return false;
        }
        snd_pcm_sframes_t n = snd_pcm_readi(pcm_, data + done * 2, frames - done);
        if (n == -EAGAIN) {
            snd_pcm_wait(pcm_, 50);
            continue;
        }
        if (n < 0) {
            // Overrun or suspend: recover and go on; anything else ends capture.
            if (snd_pcm_recover(pcm_, static_cast<int>(n), 1) < 0) {
                VKVX_LOG(log::Warning, "ALSA capture read error %d (%s)", static_cast<int>(n),
                         snd_strerror(static_cast<int>(n)));
                return false;
            }
            snd_pcm_start(pcm_);
            continue;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

void AudioInput::captureLoop()
{
    const size_t frames = buffers_[0].size() / 2;
    while (!stop_.load()) {
        int index = -1;
        {
            std::lock_guard lock(mutex_);
            // The card fills the queued buffers in turn, the older first.
            int first = latest_ == 0 ? 1 : 0;
            for (int i : {first, 1 - first}) {
                if (state_[i] == State::Queued) {
                    index = i;
                    state_[i] = State::Filling;
                    break;
                }
            }
        }
        int16_t* target = index >= 0 ? buffers_[index].data() : scratch_.data();
        if (!fill(target, frames)) {
            if (index >= 0) {
                std::lock_guard lock(mutex_);
                state_[index] = State::Queued;
            }
            if (!stop_.load()) {
                // A dead input: wait for close instead of spinning.
                while (!stop_.load()) {
                    std::this_thread::sleep_for(std::chrono::milliseconds(10));
                }
            }
            return;
        }
        if (index >= 0) {
            std::lock_guard lock(mutex_);
            state_[index] = State::Done;
            latest_ = index;
            signalled_ = true;
            filled_.notify_one();
        }
    }
}

bool AudioInput::waitFilled(int timeout_ms)
{
    std::unique_lock lock(mutex_);
    bool ok = filled_.wait_for(lock, std::chrono::milliseconds(timeout_ms), [this] { return signalled_; });
    signalled_ = false;  // auto-reset
    return ok;
}

void AudioInput::requeueOther()
{
    std::lock_guard lock(mutex_);
    int other = latest_ == 0 ? 1 : 0;
    if (state_[other] == State::Done) {
        state_[other] = State::Queued;
    }
}

const int16_t* AudioInput::latest() const
{
    std::lock_guard lock(mutex_);
    return latest_ >= 0 ? buffers_[latest_].data() : nullptr;
}

}  // namespace vkvx
