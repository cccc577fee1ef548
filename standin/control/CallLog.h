// The ordered record of the calls the control receives, for tests. Reads a
// host repeats on every idle pass would swamp the record, so they are counted
// and summed up in one line when another call arrives or the log is flushed.
// Pure code: the caller writes out the text it gets back.
#pragma once
#include <string>

namespace standin {

class CallLog {
public:
    enum class Read { TotalFrames, CurrentFrame };

    // A call worth a line of its own; returns the text to append (with the
    // pending counts first).
    std::string Call(const std::string& line) { return Flush() + line + "\n"; }

    void Count(Read r) { ++(r == Read::TotalFrames ? totalFrames_ : currentFrame_); }

    // The pending counts as a line, or nothing.
    std::string Flush() {
        if (totalFrames_ == 0 && currentFrame_ == 0) return {};
        std::string s = "reads TotalFrames x" + std::to_string(totalFrames_) + " CurrentFrame x" +
                        std::to_string(currentFrame_) + "\n";
        totalFrames_ = currentFrame_ = 0;
        return s;
    }

private:
    long long totalFrames_ = 0;
    long long currentFrame_ = 0;
};

}  // namespace standin
