#include "audio_ogg.h"

#include <algorithm>
#include <cstdio>
#include <vorbis/vorbisenc.h>

namespace {

const int OGG_SERIAL = 0x7462726c;  // fixed: a random serial would change the bytes on every run
const int BLOCK = 1024;             // frames handed to the encoder at a time

bool writePage(FILE* f, const ogg_page& page)
{
    return fwrite(page.header, 1, page.header_len, f) == (size_t)page.header_len &&
           fwrite(page.body, 1, page.body_len, f) == (size_t)page.body_len;
}

}

bool writeOgg(const std::string& path, const dsp::buffer& left, const dsp::buffer* right, float quality)
{
    int channels = right ? 2 : 1;
    if (right && right->size() != left.size())
        return false;
    FILE* f = fopen(path.c_str(), "wb");
    if (!f)
        return false;

    vorbis_info vi;
    vorbis_info_init(&vi);
    if (vorbis_encode_init_vbr(&vi, channels, dsp::RATE, quality) != 0) {
        vorbis_info_clear(&vi);
        fclose(f);
        return false;
    }
    vorbis_comment vc;
    vorbis_comment_init(&vc);
    vorbis_dsp_state vd;
    vorbis_analysis_init(&vd, &vi);
    vorbis_block vb;
    vorbis_block_init(&vd, &vb);
    ogg_stream_state os;
    ogg_stream_init(&os, OGG_SERIAL);

    bool ok = true;
    ogg_packet header, headerComment, headerCode;
    vorbis_analysis_headerout(&vd, &vc, &header, &headerComment, &headerCode);
    ogg_stream_packetin(&os, &header);
    ogg_stream_packetin(&os, &headerComment);
    ogg_stream_packetin(&os, &headerCode);
    ogg_page page;
    while (ogg_stream_flush(&os, &page))  // the audio starts on a fresh page
        ok = ok && writePage(f, page);

    size_t total = left.size(), pos = 0;
    bool eos = false;
    while (!eos) {
        size_t n = std::min<size_t>(BLOCK, total - pos);
        if (n == 0) {
            vorbis_analysis_wrote(&vd, 0);  // end of stream
        } else {
            float** in = vorbis_analysis_buffer(&vd, (int)n);
            for (size_t i = 0; i < n; i++) {
                in[0][i] = left[pos + i];
                if (right)
                    in[1][i] = (*right)[pos + i];
            }
            vorbis_analysis_wrote(&vd, (int)n);
            pos += n;
        }
        while (vorbis_analysis_blockout(&vd, &vb) == 1) {
            vorbis_analysis(&vb, nullptr);
            vorbis_bitrate_addblock(&vb);
            ogg_packet packet;
            while (vorbis_bitrate_flushpacket(&vd, &packet)) {
                ogg_stream_packetin(&os, &packet);
                while (ogg_stream_pageout(&os, &page)) {
                    ok = ok && writePage(f, page);
                    if (ogg_page_eos(&page))
                        eos = true;
                }
            }
        }
    }

    ogg_stream_clear(&os);
    vorbis_block_clear(&vb);
    vorbis_dsp_clear(&vd);
    vorbis_comment_clear(&vc);
    vorbis_info_clear(&vi);
    return fclose(f) == 0 && ok;
}
