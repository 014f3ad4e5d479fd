// The reader thread parses while the GUI thread reads the record, as when it paints:
// every copy the GUI takes must be whole (texts that match their angles), and the
// ThreadSanitizer build must see no race.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "common/status_text.h"
#include "gps/nmea_parser.h"
#include "platform/testing.h"

namespace {

namespace fs = std::filesystem;

std::string readLog(const char* name) {
    std::ifstream in(fs::path(ORVEN_SOURCE_DIR) / "tests/data/nmea" / name, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

std::string utf8(const std::u16string& text) {
    return orven::toUtf8(text);
}

TEST(NmeaThreads, GuiReadsWholeFixesWhileTheReaderParses) {
    orven::test::useVirtualClock();
    // Two receivers on opposite sides of the globe, so a torn copy would mix them.
    const std::string stream = readLog("bu353s4.log") + readLog("neo-m8n.log");
    constexpr int passes = 40;
    std::atomic<bool> readerDone{false};
    std::atomic<int> publishedSentences{0};

    std::thread reader([&] {
        sentenceFramerReset();
        for (int pass = 0; pass < passes; ++pass) {
            for (char c : stream) {
                if (!sentenceFramer(static_cast<BYTE>(c))) continue;
                // The reader's own per-sentence steps touch the shared texts too.
                WCHAR firstPart[101];
                lstrcpynW(firstPart, gpsState.sentenceBuffer, 101);
                setLastSentence(firstPart);
                dispatchSentence();
                publishedSentences.fetch_add(1);
            }
            SYSTEMTIME now;
            GetSystemTime(&now);
            setClockSnapshot(now);
        }
        readerDone = true;
    });

    int copies = 0;
    int resets = 0;
    while (!readerDone) {
        GpsFix fix = copyGpsFix();
        if (fix.fixTimeText[0] != 0) {
            WCHAR text[positionTextSize];
            formatLatitude(fix.latitude, text);
            ASSERT_EQ(utf8(text), utf8(fix.latitudeText));
            formatLongitude(fix.longitude, text);
            ASSERT_EQ(utf8(text), utf8(fix.longitudeText));
            ASSERT_EQ(fix.latitude < 0, fix.latitudeHemisphere == u'S');
        }
        WCHAR sentence[lastSentenceSize];
        copyLastSentence(sentence);
        ASSERT_TRUE(sentence[0] == 0 || sentence[0] == u'$');
        WCHAR status[statusTextSize];
        copyStatusText(status);
        ASSERT_TRUE(status[0] == 0 || utf8(status).rfind("Position found at ", 0) == 0);
        (void)readClockSnapshot();
        (void)lastSentenceContains(u"$GP");
        // The GUI thread's link reset, now and then.
        if (++copies % 64 == 0) {
            gpsState.positionFound = 0;
            gpsState.rmcStatus = 0;
            gpsState.fixQuality = 0;
            ++resets;
        }
        (void)gpsState.satellitesInView.load();
        (void)gpsState.satellitesUsed.load();
    }
    reader.join();
    EXPECT_GT(publishedSentences.load(), passes * 100);
    // The last fix of the stream is neo-m8n's, in the northern and western hemispheres.
    GpsFix fix = copyGpsFix();
    EXPECT_EQ(u'N', fix.latitudeHemisphere);
    EXPECT_LT(fix.longitude, 0.0);
    EXPECT_GT(resets, 0);
}

}  // namespace
