#pragma once

#include <string>
#include <vector>

// Writes the video frames of the MP4 files inputs, in order and each after the last, into
// the new MP4 file output without encoding them again (they must come from one encoder's
// settings, as the parts of a day's time-lapse do). A file cut off at its end gives the
// frames it holds. Answers false, with the reason in error, when output cannot be written;
// an input that cannot be read is skipped.
bool joinVideos(const std::vector<std::string>& inputs, const std::string& output,
                std::string& error);
