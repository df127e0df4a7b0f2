// The identifiers of the audio room's errors.
#pragma once

namespace hfchain::audio::errid {
inline constexpr const char* kBadPassband = "hfchain:audio:BadPassband";
inline constexpr const char* kBadLevel = "hfchain:audio:BadLevel";
inline constexpr const char* kClipping = "hfchain:audio:Clipping";
inline constexpr const char* kResampler = "hfchain:audio:Resampler";
inline constexpr const char* kBadFile = "hfchain:audio:BadFile";
inline constexpr const char* kBadFormat = "hfchain:audio:BadFormat";
inline constexpr const char* kReadFailed = "hfchain:audio:ReadFailed";
inline constexpr const char* kWriteFailed = "hfchain:audio:WriteFailed";
inline constexpr const char* kBadChannelSetting = "hfchain:audio:BadChannelSetting";
}  // namespace hfchain::audio::errid
