// Encoder command lines built from the settings records, and the sinks that feed them.
#include "external/encoders.h"

#include <algorithm>
#include <cstdio>

#include "external/components.h"
#include "external/pipesink.h"
#include "external/process.h"

namespace {

std::string Format(const char* fmt, auto... args) {
    char buf[64];
    std::snprintf(buf, sizeof buf, fmt, args...);
    return buf;
}

// A path in double quotes, as the encoder can open it.
std::string Quoted(const char* path) {
    return LQuotedArgument(LChildPath(path).c_str());
}

LSinkRef OpenSink(const char* component, auto build) {
    char path[LMAX_PATH];
    if (!ComponentReadPath(component, path)) return LSinkRef();
    LEncoderCommand cmd = build(path);
    return LSinkRef(new LPipe16Sink(cmd.commandLine.c_str(), cmd.sampleRate, cmd.channels));
}

int StereoLimited(int channels) {
    return channels < 1 ? 1 : channels > 2 ? 2 : channels;
}

}  // namespace

int32_t LEncoderBitRateLimit(int channels, int32_t rate) {
    double limit = channels * 4.5 * rate * 0.001;
    return int32_t(limit);
}

LEncoderCommand LMP3EncodePipe::CommandLine(const char* encoderPath, const char* outputPath,
                                            const LMP3EncodeSettings& s, int channels,
                                            int32_t rate) {
    int top = s.constantBitRate ? s.cbrBitRate : s.vbrMaxBitRate;
    int low = s.constantBitRate ? s.cbrBitRate : s.vbrMinBitRate;

    int32_t r;
    if (top > 160 && rate < 32000) {
        r = 44100;
    } else {
        r = std::min<int32_t>(rate, 48000);
        if (low < 32 && r > 22050) r = 22050;
        if (r > 44100 && r < 48000)
            r = 44100;
        else if (r > 32000 && r < 44100)
            r = 44100;
        else if (r > 24000 && r < 32000)
            r = 32000;
        else if (r > 22050 && r < 24000)
            r = 22050;
        else if (r > 16000 && r < 22050)
            r = 22050;
        else if (r > 11025 && r < 16000)
            r = 11025;
        else if (r > 8000 && r < 11025)
            r = 11025;
        else if (r < 8000)
            r = 8000;
    }

    // The encoder reads mono or stereo only: a sink that asks for more would have it read
    // interleaved surround frames as stereo noise, so it takes two and the conversion refuses
    // a source it cannot bridge to them instead.
    int encChannels = low < 24 ? 1 : StereoLimited(channels);
    int mode = s.channelMode > 3 ? 1 : s.channelMode;
    if (low < 24) mode = 3;
    bool downmix = false;
    if (encChannels == 1)
        mode = 3;
    else if (mode == 3)
        downmix = true;

    std::string cmd = Quoted(encoderPath);
    if (downmix) cmd += " -a";
    cmd += " -m ";
    cmd += "sjfm"[mode];
    if (s.errorProtection) cmd += " -p";
    if (s.constantBitRate) {
        cmd += Format(" -b %d", int(s.cbrBitRate));
        if (s.highQuality) cmd += " -h";
    } else {
        cmd += Format(" -v -b %d -B %d -V %d", int(s.vbrMinBitRate), int(s.vbrMaxBitRate),
                      int(s.vbrQuality));
    }
    // LAME 3.100 reads raw input as little-endian on every platform (the shipped Windows
    // encoder as well as Debian's); "-x" would swap the bytes of our little-endian samples into
    // noise, so the swap option is left out.
    cmd += Format(" -r -s %d.%.3d -S - ", int(r / 1000), int(r % 1000));
    cmd += Quoted(outputPath);
    return {cmd, r, encChannels};
}

LSinkRef LMP3EncodePipe::OpenMp3Sink(const char* outputPath, const LMP3EncodeSettings& s,
                                     int channels, int32_t rate) {
    return OpenSink(kMp3EncoderComponent, [&](const char* exe) {
        return CommandLine(exe, outputPath, s, channels, rate);
    });
}

LEncoderCommand LOggEncodePipe::CommandLine(const char* encoderPath, const char* outputPath,
                                            const LOggEncodeSettings& s, int channels,
                                            int32_t rate) {
    std::string cmd = Quoted(encoderPath);
    cmd += Format(" -C %d", channels);
    cmd += Format(" -R %d", int(rate));
    int k = StereoLimited(s.channels);
    if (channels == 2 && k == 1) cmd += " --downmix";
    if (s.quality) {
        cmd += Format(" -q %d", int(s.vbrQuality));
    } else {
        int32_t limit = LEncoderBitRateLimit(std::min(k, channels), rate);
        int32_t max = s.vbrMaxBitRate;
        if (max > limit) max = limit;
        int32_t min = s.vbrMinBitRate;
        if (min > max) min = max;
        cmd += Format(" -m %d -M %d", int(min), int(max));
    }
    if (s.stripComments) cmd += " --discard-comments";
    cmd += " -Q - -o " + Quoted(outputPath);
    return {cmd, rate, channels};
}

LSinkRef LOggEncodePipe::OpenOggSink(const char* outputPath, const LOggEncodeSettings& s,
                                     int channels, int32_t rate) {
    return OpenSink(kOggEncoderComponent, [&](const char* exe) {
        return CommandLine(exe, outputPath, s, channels, rate);
    });
}

LEncoderCommand LAACEncodePipe::CommandLine(const char* encoderPath, const char* outputPath,
                                            const LAACEncodeSettings& s, int channels,
                                            int32_t rate) {
    std::string cmd = Quoted(encoderPath);
    cmd += Format(" -C %d", channels);
    cmd += Format(" -R %d", int(rate));
    if (s.averageBitRate) {
        int32_t bitRate = s.abrBitRate;
        int32_t limit = LEncoderBitRateLimit(channels, rate);
        if (bitRate > limit) bitRate = limit;
        cmd += Format(" -b %d", int(bitRate));
    } else {
        cmd += Format(" -q %d", int(s.vbrQuality));
    }
    if (s.forceMPEG2) cmd += " --mpeg-vers 2";
    if (s.disableTNS) cmd += " --no-tns";
    cmd += " -X - -o " + Quoted(outputPath);
    return {cmd, rate, channels};
}

LSinkRef LAACEncodePipe::OpenAACSink(const char* outputPath, const LAACEncodeSettings& s,
                                     int channels, int32_t rate) {
    return OpenSink(kAACEncoderComponent, [&](const char* exe) {
        return CommandLine(exe, outputPath, s, channels, rate);
    });
}

LEncoderCommand LFlacEncodePipe::CommandLine(const char* encoderPath, const char* outputPath,
                                             const LFlacEncodeSettings& s) {
    int k = StereoLimited(s.channels);
    std::string cmd = Quoted(encoderPath);
    cmd += Format(" --channels=%d", k);
    cmd += Format(" --sample-rate=%d", int(s.sampleRate));
    cmd += Format(" --compression-level-%d", int(s.compression));
    cmd += " --endian=little --bps=16 --sign=signed -f - -o " + Quoted(outputPath);
    return {cmd, int32_t(s.sampleRate), k};
}

LSinkRef LFlacEncodePipe::OpenFlacSink(const char* outputPath, const LFlacEncodeSettings& s) {
    return OpenSink(kFlacEncoderComponent,
                    [&](const char* exe) { return CommandLine(exe, outputPath, s); });
}

LEncoderCommand LOpusEncodePipe::CommandLine(const char* encoderPath, const char* outputPath,
                                             const LOpusEncodeSettings& s, int channels,
                                             int32_t rate) {
    // More than two channels would be taken in the encoder's own (Vorbis) channel order, not
    // in the order of our frames: the sink takes two and the transfer mixes down to them.
    const int k = StereoLimited(channels);
    std::string cmd = Quoted(encoderPath);
    cmd += Format(" --quiet --bitrate %d", int(s.bitRate));
    if (s.tuning == 1) cmd += " --speech";
    if (s.tuning == 2) cmd += " --music";
    cmd += Format(" --raw --raw-rate %d --raw-chan %d - ", int(rate), k);
    cmd += Quoted(outputPath);
    return {cmd, rate, k};
}

LSinkRef LOpusEncodePipe::OpenOpusSink(const char* outputPath, const LOpusEncodeSettings& s,
                                       int channels, int32_t rate) {
    return OpenSink(kOpusEncoderComponent, [&](const char* exe) {
        return CommandLine(exe, outputPath, s, channels, rate);
    });
}
