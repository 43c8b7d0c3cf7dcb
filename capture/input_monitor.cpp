#include "capture/input_monitor.h"

void InputMonitor::Callback(HWAVEIN, uint32_t message, uintptr_t instance, uintptr_t header, uintptr_t) {
  if (message == MM_WIM_DATA) reinterpret_cast<HWND>(instance)->Post(kMonitorNotice, 0, static_cast<intptr_t>(header));
}

bool InputMonitor::Start(WaveInService& service, int rate, HWND window, std::string& why) {
  Stop();
  HWAVEIN device = nullptr;
  if (service.Open(&device, CaptureFormat(rate), &InputMonitor::Callback, reinterpret_cast<uintptr_t>(window)) !=
      MMSYSERR_NOERROR) {
    why = service.LastError().empty() ? "the input cannot be opened" : service.LastError();
    return false;
  }
  service_ = &service;
  device_ = device;
  for (int i = 0; i < kBuffers; ++i) {
    WAVEHDR& h = headers_[i];
    h = WAVEHDR{};
    h.lpData = data_.data() + size_t{kBufferBytes} * i;
    h.dwBufferLength = kBufferBytes;
    if (device_->Prepare(&h) != MMSYSERR_NOERROR || device_->AddBuffer(&h) != MMSYSERR_NOERROR) {
      why = "the input does not take buffers";
      Stop();
      return false;
    }
  }
  if (device_->Start() != MMSYSERR_NOERROR) {
    why = service.LastError().empty() ? "the input does not start" : service.LastError();
    Stop();
    return false;
  }
  return true;
}

void InputMonitor::Handle(intptr_t lParam, const std::function<void(const uint8_t*, uint32_t)>& take) {
  if (!device_) return;
  for (WAVEHDR& h : headers_) {
    if (reinterpret_cast<intptr_t>(&h) != lParam || !(h.dwFlags & WHDR_DONE)) continue;
    take(reinterpret_cast<const uint8_t*>(h.lpData), h.dwBytesRecorded / 4);
    device_->AddBuffer(&h);  // a buffer the device refuses stays out; the meter then sees less
    return;
  }
}

void InputMonitor::Stop() {
  if (!device_) return;
  device_->Reset();
  for (WAVEHDR& h : headers_) {
    if (h.dwFlags & WHDR_PREPARED) device_->Unprepare(&h);
  }
  device_->Close();
  service_->Release(device_);
  device_ = nullptr;
  service_ = nullptr;
}
