#include "export/zov_export_job.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>

void CZovExportJob::Progress(double units) {
  if (!request_.progress) return;
  const double fraction = std::min(1.0, (done_ + std::max(0.0, units)) / total_);
  // A report for every thousandth: the windows' bar moves smoothly and a
  // long export does not flood its thread with calls.
  if (fraction - reported_ < 0.001 && fraction < 1.0) return;
  reported_ = fraction;
  request_.progress(fraction);
}

void CZovExportJob::EndStep(double stepUnits) {
  done_ += stepUnits;
  Progress(0);
}

std::string CZovExportJob::NewFile(const std::string& suffix) {
  std::string folder = request_.folder;
  if (!folder.empty() && folder.back() != '/') folder += '/';
  files_.push_back(folder + plan_.stem + "_" + suffix);
  return files_.back();
}

void CZovExportJob::RemoveFiles() {
  for (const std::string& f : files_) std::remove(f.c_str());
  files_.clear();
}

bool CZovExportJob::WriteWhole(const std::string& suffix, const std::string& bytes) {
  const std::string path = NewFile(suffix);
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return Fail(ZovWriteErrorText(path, AVERROR(errno)));
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  const int writeErrno = errno;
  // A full disk often shows only when the buffered bytes are flushed.
  if (std::fclose(f) != 0 || !written)
    return Fail(ZovWriteErrorText(path, AVERROR(written ? errno : writeErrno)));
  return true;
}

bool CZovExportJob::Fail(const std::string& reason) {
  if (error_.empty()) error_ = reason;
  return false;
}

std::string ZovWriteErrorText(const std::string& path, int averror) {
  switch (averror) {
    case AVERROR(ENOSPC):
    case AVERROR(EDQUOT):
      return "the disk is full: " + path + " could not be written";
    case AVERROR(EROFS):
      return "the folder is on a read-only disk: " + path + " cannot be written";
    case AVERROR(EACCES):
    case AVERROR(EPERM):
      return "the folder is read-only for this user: " + path + " cannot be written";
    default:
      return path + " could not be written: " + ZovAvErrorText(averror);
  }
}

bool ZovOpenInput(const std::string& path, ZovOpenedInput* input, std::string* error) {
  AVFormatContext* raw = nullptr;
  if (const int r = avformat_open_input(&raw, path.c_str(), nullptr, nullptr); r < 0) {
    *error = path + " cannot be read: " + ZovAvErrorText(r);
    return false;
  }
  input->format.reset(raw);
  if (const int r = avformat_find_stream_info(raw, nullptr); r < 0) {
    *error = path + " cannot be read: " + ZovAvErrorText(r);
    return false;
  }
  input->video = av_find_best_stream(raw, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
  input->audio = av_find_best_stream(raw, AVMEDIA_TYPE_AUDIO, -1, input->video, nullptr, 0);
  if (input->audio < 0) input->audio = -1;
  if (input->video < 0) {
    *error = path + " holds no pictures";
    return false;
  }
  return true;
}

bool CZovChannelDecoder::Start() { return open_ || OpenPiece(piece_); }

bool CZovChannelDecoder::OpenPiece(size_t index) {
  const ZovExportPiece& piece = channel_.pieces[index];
  const std::string& path = job_.RecordingOf(piece).path;
  input_ = {};
  decoder_.reset();
  draining_ = false;
  if (!ZovOpenInput(path, &input_, &error_)) return false;
  AVStream* v = input_.format->streams[input_.video];
  const AVCodec* codec = avcodec_find_decoder(v->codecpar->codec_id);
  decoder_.reset(avcodec_alloc_context3(codec));
  if (!codec || !decoder_ || avcodec_parameters_to_context(decoder_.get(), v->codecpar) < 0) {
    error_ = path + ": no decoder for its pictures";
    return false;
  }
  decoder_->thread_count = 0;  // as many as the machine has
  decoder_->pkt_timebase = v->time_base;
  if (const int r = avcodec_open2(decoder_.get(), codec, nullptr); r < 0) {
    error_ = path + ": its pictures cannot be decoded: " + ZovAvErrorText(r);
    return false;
  }
  if (index == 0) {
    const AVRational rate = v->avg_frame_rate.num > 0 ? v->avg_frame_rate : v->r_frame_rate;
    if (rate.num > 0 && rate.den > 0) frameRate_ = rate;
    width_ = v->codecpar->width;
    height_ = v->codecpar->height;
    if (input_.audio >= 0) {
      soundPar_.reset(avcodec_parameters_alloc());
      avcodec_parameters_copy(soundPar_.get(), input_.format->streams[input_.audio]->codecpar);
      soundTb_ = input_.format->streams[input_.audio]->time_base;
    }
  }
  if (piece.begin > 0) {
    const int64_t ts = static_cast<int64_t>(piece.begin / av_q2d(v->time_base));
    av_seek_frame(input_.format.get(), input_.video, ts, AVSEEK_FLAG_BACKWARD);
  }
  open_ = true;
  return true;
}

const AVCodecParameters* CZovChannelDecoder::SoundParameters() const { return soundPar_.get(); }

CZovChannelDecoder::Result CZovChannelDecoder::Next() {
  const double frameSeconds = 1.0 / av_q2d(frameRate_);
  for (;;) {
    if (!open_) {
      if (piece_ >= channel_.pieces.size()) return kEnd;
      if (!OpenPiece(piece_)) return kError;
    }
    const ZovExportPiece& piece = channel_.pieces[piece_];
    AVStream* v = input_.format->streams[input_.video];
    int r = avcodec_receive_frame(decoder_.get(), frame_.get());
    bool pieceOver = r == AVERROR_EOF;
    if (r == 0) {
      const int64_t ts = frame_->best_effort_timestamp != AV_NOPTS_VALUE ? frame_->best_effort_timestamp
                                                                         : frame_->pts;
      const double at = ZovSeconds(ts, v->time_base);
      if (at < piece.begin - frameSeconds / 2) continue;  // decoded from the key frame before
      if (at >= piece.end - frameSeconds / 2) {
        pieceOver = true;
      } else {
        time_ = offset_ + (at - piece.begin);
        cameraTime_ = static_cast<double>(piece.momentStart) + at;
        lastEnd_ = time_ + frameSeconds;
        return kFrame;
      }
    } else if (r != AVERROR(EAGAIN) && r != AVERROR_EOF) {
      return Fail(job_.RecordingOf(piece).path + ": a picture cannot be decoded: " + ZovAvErrorText(r));
    }
    if (pieceOver) {
      offset_ = std::max(offset_, lastEnd_);
      open_ = false;
      input_ = {};
      decoder_.reset();
      ++piece_;
      continue;
    }
    // The decoder wants more: read the next packet of the piece.
    r = av_read_frame(input_.format.get(), packet_.get());
    if (r < 0) {
      if (r != AVERROR_EOF && r != AVERROR(EIO))
        return Fail(job_.RecordingOf(piece).path + " cannot be read: " + ZovAvErrorText(r));
      if (!draining_) {
        draining_ = true;
        avcodec_send_packet(decoder_.get(), nullptr);
      }
      continue;
    }
    if (packet_->stream_index == input_.video) {
      r = avcodec_send_packet(decoder_.get(), packet_.get());
      av_packet_unref(packet_.get());
      if (r < 0 && r != AVERROR(EAGAIN))
        return Fail(job_.RecordingOf(piece).path + ": a picture cannot be decoded: " + ZovAvErrorText(r));
      continue;
    }
    if (packet_->stream_index == input_.audio && soundPar_ && packet_->pts != AV_NOPTS_VALUE) {
      const AVRational tb = input_.format->streams[input_.audio]->time_base;
      const double at = ZovSeconds(packet_->pts, tb);
      if (at >= piece.begin && at < piece.end) {
        const int64_t shift = llround((offset_ - piece.begin) / av_q2d(soundTb_));
        av_packet_rescale_ts(packet_.get(), tb, soundTb_);
        packet_->pts += shift;
        packet_->dts = packet_->dts == AV_NOPTS_VALUE ? packet_->pts : packet_->dts + shift;
        av_packet_unref(sound_.get());
        av_packet_move_ref(sound_.get(), packet_.get());
        return kSound;
      }
    }
    av_packet_unref(packet_.get());
  }
}
