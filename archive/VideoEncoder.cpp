#include "archive/VideoEncoder.h"

#include "base/FileDescriptor.h"
#include "base/Surface.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/opt.h>
#include <libswscale/swscale.h>
}

#include <array>

#include <fcntl.h>

namespace {

std::string describe(int code) {
    std::array<char, AV_ERROR_MAX_STRING_SIZE> text{};
    av_strerror(code, text.data(), text.size());
    return text.data();
}

} // namespace

VideoEncoder::~VideoEncoder() {
    close();
}

bool VideoEncoder::fail(const std::string& what, int code) {
    error_ = what + ": " + describe(code);
    return false;
}

bool VideoEncoder::open(const std::string& path, int width, int height, int fps, int crf) {
    close();
    frames_ = 0;
    // Trouble is told on the time-lapse's health line; the libraries' own reports and
    // statistics would only fill the terminal.
    av_log_set_level(AV_LOG_QUIET);
    // Made here, exclusively and not through a link, so the library only ever opens a file
    // of the program's own.
    if (!FileDescriptor::open(path, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666)
             .isOpen()) {
        return fail(path, AVERROR(errno));
    }
    const AVCodec* x264 = avcodec_find_encoder_by_name("libx264");
    int code = avformat_alloc_output_context2(&format_, nullptr, "mp4", path.c_str());
    if (code < 0 || x264 == nullptr) {
        release();
        return fail("libx264 in mp4", code < 0 ? code : AVERROR_ENCODER_NOT_FOUND);
    }
    codec_ = avcodec_alloc_context3(x264);
    stream_ = avformat_new_stream(format_, nullptr);
    frame_ = av_frame_alloc();
    packet_ = av_packet_alloc();
    if (!codec_ || !stream_ || !frame_ || !packet_) {
        release();
        return fail(path, AVERROR(ENOMEM));
    }
    codec_->width = width & ~1;
    codec_->height = height & ~1;
    codec_->time_base = {1, fps};
    codec_->framerate = {fps, 1};
    codec_->pix_fmt = AV_PIX_FMT_YUV420P;
    codec_->gop_size = keyFrameInterval;
    codec_->max_b_frames = 0;
    codec_->thread_count = 1;
    codec_->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    av_opt_set(codec_->priv_data, "preset", "veryfast", 0);
    av_opt_set(codec_->priv_data, "tune", "zerolatency", 0);
    av_opt_set_double(codec_->priv_data, "crf", crf, 0);
    frame_->format = codec_->pix_fmt;
    frame_->width = codec_->width;
    frame_->height = codec_->height;
    AVDictionary* muxing = nullptr;
    av_dict_set(&muxing, "movflags", "frag_keyframe+empty_moov+default_base_moof", 0);
    format_->flags |= AVFMT_FLAG_FLUSH_PACKETS;
    if ((code = avcodec_open2(codec_, x264, nullptr)) < 0 ||
        (code = avcodec_parameters_from_context(stream_->codecpar, codec_)) < 0 ||
        (code = av_frame_get_buffer(frame_, 0)) < 0 ||
        (code = avio_open(&format_->pb, path.c_str(), AVIO_FLAG_WRITE)) < 0 ||
        (stream_->time_base = codec_->time_base, code = avformat_write_header(format_, &muxing)) <
            0) {
        av_dict_free(&muxing);
        release();
        return fail(path, code);
    }
    av_dict_free(&muxing);
    return true;
}

bool VideoEncoder::add(const Surface& pixels) {
    if (!isOpen()) {
        return false;
    }
    scaler_ = sws_getCachedContext(scaler_, pixels.width(), pixels.height(), AV_PIX_FMT_BGR24,
                                   codec_->width, codec_->height, AV_PIX_FMT_YUV420P, SWS_BILINEAR,
                                   nullptr, nullptr, nullptr);
    int code = av_frame_make_writable(frame_);
    if (scaler_ == nullptr || code < 0) {
        return fail("scale", code < 0 ? code : AVERROR(EINVAL));
    }
    // The surface's rows run bottom up: its top row, read with a negative stride.
    const std::uint8_t* top[] = {pixels.rowFromTop(0)};
    const int stride[] = {-static_cast<int>(pixels.stride())};
    sws_scale(scaler_, top, stride, 0, pixels.height(), frame_->data, frame_->linesize);
    frame_->pts = frames_++;
    if ((code = avcodec_send_frame(codec_, frame_)) < 0) {
        return fail("encode", code);
    }
    return writePackets();
}

bool VideoEncoder::writePackets() {
    int code = 0;
    while ((code = avcodec_receive_packet(codec_, packet_)) >= 0) {
        // One frame each, which the fragment's end needs to know.
        packet_->duration = packet_->duration > 0 ? packet_->duration : 1;
        av_packet_rescale_ts(packet_, codec_->time_base, stream_->time_base);
        packet_->stream_index = stream_->index;
        code = av_write_frame(format_, packet_);
        av_packet_unref(packet_);
        if (code < 0) {
            return fail("write", code);
        }
    }
    return code == AVERROR(EAGAIN) || code == AVERROR_EOF ? true : fail("encode", code);
}

bool VideoEncoder::close() {
    if (!isOpen()) {
        return true;
    }
    bool closed = avcodec_send_frame(codec_, nullptr) >= 0 && writePackets();
    const int code = av_write_trailer(format_);
    closed = closed && (code >= 0 || fail("finish", code));
    release();
    return closed;
}

void VideoEncoder::release() {
    if (format_ && format_->pb) {
        avio_closep(&format_->pb);
    }
    avformat_free_context(format_);
    format_ = nullptr;
    stream_ = nullptr;
    avcodec_free_context(&codec_);
    av_frame_free(&frame_);
    av_packet_free(&packet_);
    sws_freeContext(scaler_);
    scaler_ = nullptr;
}
