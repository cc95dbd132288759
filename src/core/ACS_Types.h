// Shared types of the audio framework: PCM conventions, the error types, the
// component base (owner, name, removal notification) and the event types.
//
// PCM: interleaved frames, one sample per channel in channel order. 8-bit
// samples are unsigned (silence 128); 16/24/32-bit samples are signed
// little-endian (silence 0); 24-bit samples are packed in 3 bytes. Frame bytes
// = (channels * bits) >> 3. Byte positions, sizes and frame numbers are int64.
//
// Floating point: on x86-64 SSE exceptions are masked by default, so the float
// decoders need no control-word set-up of their own.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

namespace quillet {

// The general error type: every error the framework raises derives from it.
class Exception : public std::runtime_error {
  public:
    explicit Exception(const std::string& message) : std::runtime_error(message) {}
};

// The error type of all audio components; it carries only a message.
class EAuException : public Exception {
  public:
    using Exception::Exception;
};

// Raised by a sink when its format cannot be played: the input claims one no
// device plays, or the device refused it. Another file may still play.
class EAuFormatError : public EAuException {
  public:
    using EAuException::EAuException;
};

// Raised by a sink when the sound device failed (it could not be opened, or
// lost the stream): no file would play on it.
class EAuDeviceError : public EAuException {
  public:
    using EAuException::EAuException;
};

// Frame size of a PCM format, as the framework computes it everywhere.
inline uint16_t FrameBytesOf(uint32_t channels, uint32_t bits) {
    return static_cast<uint16_t>((channels * bits) >> 3);
}

// A packed 24-bit sample in the top three bytes of an int32 (the low byte
// 0): full scale as 32-bit sound, and the 24-bit value after `>> 8`.
inline int32_t Packed24High(const uint8_t* p) {
    return static_cast<int32_t>(uint32_t{p[0]} << 8 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 24);
}

enum class TOperation { opInsert, opRemove };

// Component base. A component may own others (destroyed with it, last first)
// and may ask to be told when another component is removed (FreeNotification).
//
// Destruction: removal must be announced while the object is still whole (a
// sink stops its run, which may be inside the source's decoder). Destroy
// components through Free(), an Owned<> pointer or their owner: those announce
// the removal before any destructor runs. The base destructor announces it too,
// as a backstop for objects that live on the stack.
//
// Threads: construction, destruction and the notification run on the main
// thread.
class TComponent {
  public:
    explicit TComponent(TComponent* owner = nullptr);
    TComponent(const TComponent&) = delete;
    TComponent& operator=(const TComponent&) = delete;
    virtual ~TComponent();

    TComponent* Owner() const { return FOwner; }
    const std::string& Name() const { return FName; }
    void SetName(const std::string& name) { FName = name; }
    // The class name used in messages ("Cannot assign a %s to a %s").
    virtual const char* ClassName() const { return "TComponent"; }

    // Ask for a Notification(this, opRemove) call on `observer` when this
    // component is removed. Both directions are forgotten when either goes.
    void FreeNotification(TComponent* observer);
    void RemoveFreeNotification(TComponent* observer);

    // BeforeDestruction() (announces the removal to every observer), then
    // destroys.
    static void Free(TComponent* component);

  protected:
    virtual void Notification(TComponent* component, TOperation operation);
    // Runs before destruction through Free(): announces the removal. A sink
    // overrides it to end its worker while the whole object still exists.
    virtual void BeforeDestruction();
    // Announces the removal once; called by Free() and the destructor.
    void NotifyRemoval();

  private:
    void InsertComponent(TComponent* child);
    void RemoveComponent(TComponent* child);

    TComponent* FOwner = nullptr;
    std::string FName;
    std::vector<TComponent*> FComponents;  // owned, in creation order
    std::vector<TComponent*> FObservers;   // told of this one's removal
    std::vector<TComponent*> FObserving;   // this one watches these
    bool FRemovalAnnounced = false;
};

struct ComponentDeleter {
    void operator()(TComponent* c) const { TComponent::Free(c); }
};
// An owning pointer that announces the removal before destruction.
template <class T>
using Owned = std::unique_ptr<T, ComponentDeleter>;
template <class T, class... Args>
Owned<T> MakeOwned(Args&&... args) {
    return Owned<T>(new T(std::forward<Args>(args)...));
}

// The four event types of a sink: OnDone, OnProgress, OnThreadException and
// OnUnderrun all take the sink as Sender; details come from its properties.
using TNotifyEvent = std::function<void(TComponent* Sender)>;
using TOutputDoneEvent = TNotifyEvent;
using TOutputProgressEvent = TNotifyEvent;
using TThreadExceptionEvent = TNotifyEvent;
using TUnderrunEvent = TNotifyEvent;

}  // namespace quillet
