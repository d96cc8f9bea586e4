#include "framework/button_face.h"

namespace kestrel {

FaceChoice ChooseFace(const FaceImages& images, bool disabled, bool pressed) {
    if (images.normal < 0)
        return {-1, CaptionColour::Black};
    if (disabled) {
        return {images.disabled >= 0 ? images.disabled : images.normal, CaptionColour::Disabled};
    }
    if (pressed)
        return {images.pressed >= 0 ? images.pressed : images.normal, CaptionColour::Normal};
    return {images.normal, CaptionColour::Normal};
}

} // namespace kestrel
