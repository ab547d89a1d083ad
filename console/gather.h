// Gathers the lines typed at the console into one input: lines are added
// while a series, a braced string, a tag or a binary is left open.
//
// Each line is scanned once: the lexer's open series (the text of their
// openers) are kept between lines and scanned again in front of the new
// line, in place of all the input before it, so that a long paste costs
// time in proportion to its length. A braced string left open is followed
// by its brace depth; a tag, a binary or a raw string left open is scanned
// again from its start.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace kiv::console {

class Gathering {
  public:
    // Adds a line (without its line feed). True when the input is complete:
    // nothing is left open, or it holds an error that no line can mend.
    bool add(const std::string& line);
    // The lines gathered, each ended by a line feed.
    const std::string& input() const { return input_; }
    // The opening character of what is left open, for the cue.
    char cue() const { return cue_; }
    void clear();

  private:
    std::string input_;
    size_t resume_ = 0;                // where the next scan starts
    std::vector<std::string> openers_; // the open series before resume_, outermost first
    uint32_t braces_ = 0;              // depth of a braced string open at resume_
    char cue_ = 0;
};

} // namespace kiv::console
