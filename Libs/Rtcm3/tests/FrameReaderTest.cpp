// The stream frame reader: every good frame once, however the stream is cut, and the rest counted.
#include "Rtcm3/FrameReader.h"
#include "Rtcm3/FrameWriter.h"

#include <gtest/gtest.h>

using Bytes = std::vector<unsigned char>;

TEST(FrameReader, FindsEveryGoodFrameOnceHoweverTheStreamIsCut)
{
    const Bytes first = Rtcm3::systemParametersFrame(0, 55183, 83205, 15);
    const Bytes second = Rtcm3::antennaDescriptorFrame(1033, 0, "TRM41249.00     NONE");
    Bytes bad = first;
    bad[6] ^= 0x01;
    const Bytes junk{'o', 'k', '\r', '\n', 0xD3};
    // A header whose frame would run 255 bytes past the end: only the stream's end shows it was none.
    const Bytes falseStart{0xD3, 0x00, 0xFF};
    Bytes stream;
    for (const Bytes& part : {junk, first, bad, second, falseStart, first})
        stream.insert(stream.end(), part.begin(), part.end());

    for (const std::size_t piece : {std::size_t{1}, std::size_t{7}, stream.size()})
    {
        Rtcm3::FrameReader reader;
        std::vector<Bytes> frames;
        const auto take = [&](const unsigned char* frame, std::size_t size)
        { frames.emplace_back(frame, frame + size); };
        for (std::size_t at = 0; at < stream.size(); at += piece)
            reader.feed(stream.data() + at, std::min(piece, stream.size() - at), take);
        EXPECT_EQ(frames, (std::vector<Bytes>{first, second})) << "pieces of " << piece;
        reader.endStream(take);
        EXPECT_EQ(frames, (std::vector<Bytes>{first, second, first})) << "pieces of " << piece;
        EXPECT_EQ(reader.counts().frames, 3u);
        EXPECT_EQ(reader.counts().badCrcFrames, 1u);
        EXPECT_EQ(reader.counts().bytesOutside, junk.size() + bad.size() + falseStart.size());
    }
}
