#ifndef TIBREL_DATAGEN_AUDIO_OGG_H
#define TIBREL_DATAGEN_AUDIO_OGG_H

#include <string>
#include "audio_dsp.h"

// Encodes 44.1 kHz samples (-1..1) to an OGG Vorbis file. One buffer gives a mono file, two give
// a stereo one (left, right, of equal length). The stream serial number is fixed and nothing
// depends on the clock, so the same samples always give the same bytes. Returns false when the
// file cannot be written or the encoder refuses the settings.
bool writeOgg(const std::string& path, const dsp::buffer& left, const dsp::buffer* right = nullptr,
              float quality = 0.3f);

#endif
