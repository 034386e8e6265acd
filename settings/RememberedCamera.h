#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>

class XmlElement;

// What the Format and Source dialogs set for one camera: its frame size and the controls
// changed there, given back when the camera is opened again. The settings file keeps one
// "camera" element a camera after its designed sections, which a reader that knows only
// those skips:
//   <camera
//     card = 'HD Webcam'
//     bus = 'usb-0000:00:14.0-2'
//     byid = 'usb-Vendor_HD_Webcam_0001-video-index0'
//     width = '640'
//     height = '480'
//     controls = '9963776:140 9963800:1'
//   >
//   </camera>
struct RememberedCamera {
    // Who the camera is: its card name, its bus and the stable name of its node, if any.
    struct Identity {
        std::string card;
        std::string bus;
        std::string stableName;

        // The same card on the same bus, or under the same stable name.
        bool isSameCamera(const Identity& other) const;
        bool operator==(const Identity&) const = default;
    };

    Identity identity;
    // 0 x 0 when no size was chosen.
    std::int32_t width = 0;
    std::int32_t height = 0;
    // Control values by control id.
    std::map<std::uint32_t, std::int32_t> controls;

    // The element as the settings file writes it, with its line ends.
    std::string elementText() const;
    // The camera an element of the file names; nothing for an element without a card name.
    static std::optional<RememberedCamera> fromElement(const XmlElement& element);

    bool operator==(const RememberedCamera&) const = default;
};
