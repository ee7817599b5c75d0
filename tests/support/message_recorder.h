#pragma once
// The engine's host for tests that look only at the messages it was asked to
// show, from whichever thread.

#include <mutex>
#include <string>
#include <vector>

#include "acquisition/engine/engine_ports.h"

class MessageRecorder : public EngineHost {
public:
    void ShowMessage(const std::string& text) override {
        std::lock_guard lock(mutex_);
        messages_.push_back(text);
    }
    std::vector<std::string> Messages() const {
        std::lock_guard lock(mutex_);
        return messages_;
    }

private:
    mutable std::mutex mutex_;
    std::vector<std::string> messages_;
};
