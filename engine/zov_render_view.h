#pragma once
// Base of every render view: shows one channel's decoded pictures in its
// render window. The decoder object calls RenderFrame from the scheduler
// thread; Attach is called on the user-interface thread.
#include <string>

extern "C" {
struct AVFrame;
}
class QWindow;

class CZovRenderView {
 public:
  virtual ~CZovRenderView() = default;
  // Rebuilds the view's drawing objects; the base has none to rebuild.
  virtual bool Reinitialize() { return false; }
  // Stores the render window; a real view then initialises on it.
  virtual bool Attach(QWindow* renderWindow) {
    window = renderWindow;
    return false;
  }
  // Whether RenderFrame would draw now.
  virtual bool IsReady() { return true; }
  // Draws and presents one frame; returns the milliseconds it took.
  virtual int RenderFrame(AVFrame* frame) = 0;
  // Hook with no use in this program, kept in the interface for subclasses.
  virtual void Hook() {}

  QWindow* window = nullptr;
  std::string name;
  int flipFlag = 0;           // no caller sets it
  void* videoDevice = nullptr;   // hardware decoder's video device, when it shares one
  void* device = nullptr;        // the view's own device, when it has one to share
  void* videoContext = nullptr;  // hardware decoder's video context
  int currentFormat = -1;        // FFmpeg pixel format of the input textures; -1 none
  int widthHint = 0;             // picture size from the decoder object; the GL view
  int heightHint = 0;            // keeps its current input texture size here
};
