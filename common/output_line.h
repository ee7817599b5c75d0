#pragma once
// One line of output in one write, flushed: another thread may be printing a
// line of its own, and scripts read these lines as they come.

#include <ostream>
#include <string>
#include <string_view>

inline void WriteLine(std::ostream& out, std::string_view line) {
    std::string text(line);
    text += '\n';
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    out.flush();
}
