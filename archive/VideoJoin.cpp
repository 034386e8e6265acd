#include "archive/VideoJoin.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include <algorithm>
#include <array>
#include <memory>

namespace {

struct InputCloser {
    void operator()(AVFormatContext* input) const { avformat_close_input(&input); }
};
using Input = std::unique_ptr<AVFormatContext, InputCloser>;

struct OutputCloser {
    void operator()(AVFormatContext* output) const {
        if (output->pb) {
            avio_closep(&output->pb);
        }
        avformat_free_context(output);
    }
};
using Output = std::unique_ptr<AVFormatContext, OutputCloser>;

struct PacketFree {
    void operator()(AVPacket* packet) const { av_packet_free(&packet); }
};

std::string describe(int code) {
    std::array<char, AV_ERROR_MAX_STRING_SIZE> text{};
    av_strerror(code, text.data(), text.size());
    return text.data();
}

Input openInput(const std::string& name, int& videoStream) {
    AVFormatContext* opened = nullptr;
    if (avformat_open_input(&opened, name.c_str(), nullptr, nullptr) < 0) {
        return nullptr;
    }
    Input input(opened);
    videoStream = avformat_find_stream_info(opened, nullptr) < 0
                      ? -1
                      : av_find_best_stream(opened, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    return videoStream < 0 ? nullptr : std::move(input);
}

// Copies the frames of one input behind those written so far; end is where the video ends
// in the output's time base, and grows by this input.
bool copyFrames(AVFormatContext* input, int videoStream, AVFormatContext* output,
                std::int64_t& end) {
    const AVStream* from = input->streams[videoStream];
    const AVStream* to = output->streams[0];
    const AVRational frameRate =
        from->r_frame_rate.num > 0 ? from->r_frame_rate : AVRational{25, 1};
    const std::int64_t frame = av_rescale_q(1, av_inv_q(frameRate), to->time_base);
    const std::int64_t offset = end;
    std::unique_ptr<AVPacket, PacketFree> packet(av_packet_alloc());
    while (packet && av_read_frame(input, packet.get()) >= 0) {
        if (packet->stream_index == videoStream) {
            av_packet_rescale_ts(packet.get(), from->time_base, to->time_base);
            packet->stream_index = 0;
            packet->pos = -1;
            packet->pts += offset;
            packet->dts += offset;
            end = std::max(end, packet->pts + (packet->duration > 0 ? packet->duration : frame));
            if (av_interleaved_write_frame(output, packet.get()) < 0) {
                return false;
            }
        }
        av_packet_unref(packet.get());
    }
    return packet != nullptr;
}

} // namespace

bool joinVideos(const std::vector<std::string>& inputs, const std::string& output,
                std::string& error) {
    AVFormatContext* made = nullptr;
    int code = avformat_alloc_output_context2(&made, nullptr, "mp4", output.c_str());
    if (code < 0) {
        error = output + ": " + describe(code);
        return false;
    }
    Output out(made);
    std::int64_t end = 0;
    bool started = false;
    for (const std::string& name : inputs) {
        int videoStream = -1;
        const Input input = openInput(name, videoStream);
        if (!input) {
            continue;
        }
        if (!started) {
            AVStream* stream = avformat_new_stream(made, nullptr);
            if (!stream ||
                (code = avcodec_parameters_copy(stream->codecpar,
                                                input->streams[videoStream]->codecpar)) < 0 ||
                (stream->codecpar->codec_tag = 0,
                 stream->time_base = input->streams[videoStream]->time_base,
                 code = avio_open(&made->pb, output.c_str(), AVIO_FLAG_WRITE)) < 0 ||
                (code = avformat_write_header(made, nullptr)) < 0) {
                error = output + ": " + describe(code < 0 ? code : AVERROR(ENOMEM));
                return false;
            }
            started = true;
        }
        if (!copyFrames(input.get(), videoStream, made, end)) {
            error = output + ": cannot be written";
            return false;
        }
    }
    if (!started || (code = av_write_trailer(made)) < 0) {
        error = output + ": " + (started ? describe(code) : "no video to join");
        return false;
    }
    return true;
}
