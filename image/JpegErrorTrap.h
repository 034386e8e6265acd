#pragma once

#include <csetjmp>
#include <cstdio>

#include <jpeglib.h>

// The error handling of one libjpeg compressor or decompressor. libjpeg reports an error by
// calling error_exit, which must not return: the trap jumps back into run(), the only place
// library calls are made from, and run() returns false. The library object keeps a pointer
// to the trap, so the trap neither moves nor is copied.
class JpegErrorTrap {
public:
    enum class Warnings {
        Allowed, // the library goes on (a writer's warnings never spoil its output)
        Fail,    // a warning (data cut short, corrupt data) ends the call like an error
    };
    enum class Messages { Print, Silent };

    JpegErrorTrap(Warnings warnings, Messages messages);
    JpegErrorTrap(const JpegErrorTrap&) = delete;
    JpegErrorTrap& operator=(const JpegErrorTrap&) = delete;

    // For the err field of the library object.
    jpeg_error_mgr* manager() { return &standard_; }

    template <typename Step> bool run(Step step) {
        if (setjmp(jump_) != 0) {
            armed_ = false;
            return false;
        }
        armed_ = true;
        step();
        armed_ = false;
        return true;
    }

private:
    static JpegErrorTrap& of(j_common_ptr object);
    static void onError(j_common_ptr object);
    static void onMessage(j_common_ptr object, int level);
    static void printMessage(j_common_ptr object);

    // First, so that the library's pointer to it is a pointer to the trap.
    jpeg_error_mgr standard_;
    std::jmp_buf jump_;
    bool armed_ = false;
};
