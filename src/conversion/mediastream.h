#pragma once

#include <QString>

// One stream of a file as its header describes it.
struct MediaStream
{
    enum class Kind { Video, Audio, Subtitle, Other };
    int index = 0; // its position in the file, as "-map 0:N" names it
    Kind kind = Kind::Other;
    QString codec;     // the library's codec name: "h264", "subrip", "dvd_subtitle"
    bool picture = false; // a cover picture (video) or a subtitle drawn as pictures
    QString language;  // as tagged: "eng", "deu"; empty when untagged
    QString title;     // as tagged; empty when untagged
    // What a copy of the stream would keep: 0 or empty when the header does not say.
    int width = 0;
    int height = 0;
    double frameRate = 0;   // frames per second (video)
    QString pixelFormat;    // "yuv420p" (video)
    int sampleRate = 0;     // Hz (audio)
    int channels = 0;       // (audio)
    qint64 bitRate = 0;     // bits per second

    bool operator==(const MediaStream &) const = default;
};
