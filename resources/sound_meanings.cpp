// What each cue sound in "sounds" tells the owner, as the emulated phone's transcript
// names it. The numbers are the program's cue numbers; 10 and 12 to 110 are not used.
#include <iterator>

#include "platform/resource.h"

namespace orven::resources {

const SoundMeanings& soundMeanings() {
    static const SoundMeaning entries[] = {
        {1, "start-up complete"},
        {2, "searching for the GPS receiver from COM0"},
        {3, "connecting the known GPS receiver port"},
        {4, "GPS receiver found"},
        {5, "awaiting a position"},
        {6, "position found"},
        {7, "sending the alert"},
        {8, "alert sent"},
        {9, "ALARM: the alert was confirmed"},
        {11, "emergency procedure begins"},
        {111, "program ends"},
    };
    static const SoundMeanings table{entries, static_cast<int>(std::size(entries))};
    return table;
}

}  // namespace orven::resources
