// What an owner-drawn button shows in each state: which of its face images
// and which caption colour, and whether its caption is placed or centred.
// Kept apart from the drawing so that it is decided without a screen.
#pragma once

namespace kestrel {

// Where each state's face sits in the button's image list; -1 when that
// face was not given or could not be loaded. No normal face: no images.
struct FaceImages {
    int normal = -1;
    int pressed = -1;
    int disabled = -1;
};

enum class CaptionColour { Normal, Disabled, Black };

struct FaceChoice {
    int image; // -1: draw no image, only the push-button frame
    CaptionColour caption;
};

// A state without a face of its own shows the normal face, so a button
// never looks disabled while it is usable or usable while it is disabled.
FaceChoice ChooseFace(const FaceImages& images, bool disabled, bool pressed);

// The caption goes at (x, y) only when both are set; either left at -1
// centres it on one line.
inline constexpr int kCaptionUnset = -1;
inline bool CaptionIsPlaced(int x, int y) {
    return x != kCaptionUnset && y != kCaptionUnset;
}

} // namespace kestrel
