#pragma once
// A stream buffer that keeps every piece a stream hands it, one entry per
// call. A line that arrives as one piece reaches standard output in one write,
// so a line that another thread writes at the same moment cannot land inside it.

#include <ios>
#include <streambuf>
#include <string>
#include <vector>

class PieceRecorder : public std::streambuf {
public:
    std::vector<std::string> pieces;

protected:
    std::streamsize xsputn(const char* s, std::streamsize n) override {
        pieces.emplace_back(s, static_cast<std::size_t>(n));
        return n;
    }
    int_type overflow(int_type c) override {
        if (!traits_type::eq_int_type(c, traits_type::eof())) pieces.emplace_back(1, traits_type::to_char_type(c));
        return traits_type::not_eof(c);
    }
};
