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

    bool operator==(const MediaStream &) const = default;
};
