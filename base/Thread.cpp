#include "base/Thread.h"

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <shared_mutex>
#include <utility>

#include "base/Exception.h"
#include "base/ExceptionDisplay.h"
#include "base/ThreadPlatform.h"

namespace {

// The thread that runs the static initialisers is the one that started the
// program.
const std::thread::id MainThreadId = std::this_thread::get_id();

enum class TRequestKind { Sync, Async, Send };

// One call handed to the main thread. Shared between sender and runner: a
// sender released early (by a reply) may return while the call still runs.
struct TRequest {
  TRequestKind Kind;
  TThreadMethod Method;
  ThreadHandoff::TSendMethod SendMethod;
  std::thread::id Sender;
  bool Done = false;
  std::exception_ptr Error;
  std::intptr_t Value = 0;
  std::condition_variable Released;
  TRequest* Outer = nullptr; // the request the main thread ran when this one started
};

struct THandoff {
  std::mutex Lock;
  std::deque<std::shared_ptr<TRequest>> Pending;
  // Woken when a request is queued or a thread ends: a main thread waiting for
  // a thread's end also runs the handoffs meanwhile.
  std::condition_variable MainWake;
  std::condition_variable ThreadEnded;
  // The wake hook is called with HookLock held for reading, so that clearing
  // or replacing it (which takes the lock for writing) waits for every call
  // in flight: the owner of the old hook may free what the hook uses as soon
  // as SetWakeMainThread returns.
  std::shared_mutex HookLock;
  TWakeMainThread Wake;
};

THandoff& Handoff() {
  static THandoff Instance;
  return Instance;
}

// The innermost request the main thread is running (nested loops stack them).
thread_local TRequest* Current = nullptr;

void Enqueue(std::shared_ptr<TRequest> R) {
  THandoff& H = Handoff();
  {
    std::lock_guard Guard(H.Lock);
    H.Pending.push_back(std::move(R));
    H.MainWake.notify_all();
    NotifyMainThreadWait();
  }
  std::shared_lock Guard(H.HookLock);
  if (H.Wake)
    H.Wake();
}

// Blocks the sender until the main thread has run (or replied to) R, and
// raises the error carried back. The error leaves the request: its reference
// count lives in the uninstrumented runtime, so the thread that looks at it
// must also be the one that frees it.
void AwaitDone(TRequest& R) {
  THandoff& H = Handoff();
  std::exception_ptr Error;
  {
    std::unique_lock Guard(H.Lock);
    R.Released.wait(Guard, [&] { return R.Done; });
    Error = std::exchange(R.Error, nullptr);
  }
  if (Error)
    std::rethrow_exception(Error);
}

// Marks R done and wakes its sender; the caller holds the lock.
void Release(TRequest& R) {
  R.Done = true;
  R.Released.notify_all();
}

void Run(const std::shared_ptr<TRequest>& R) {
  THandoff& H = Handoff();
  R->Outer = Current;
  Current = R.get();
  std::exception_ptr Error;
  std::intptr_t Value = 0;
  try {
    if (R->Kind == TRequestKind::Send)
      Value = R->SendMethod();
    else
      R->Method();
  } catch (...) {
    Error = std::current_exception();
  }
  Current = R->Outer;

  if (R->Kind != TRequestKind::Async) {
    std::unique_lock Guard(H.Lock);
    if (!R->Done) {
      R->Error = std::move(Error);
      R->Value = Value;
      R->Done = true;
      // Our reference keeps R alive, so the sender is woken after the lock is
      // free and does not wake only to wait for it.
      Guard.unlock();
      R->Released.notify_all();
      return;
    }
  }
  // Nobody waits for this error any more: show it rather than lose it.
  if (Error) {
    try {
      std::rethrow_exception(Error);
    } catch (const std::exception& E) {
      ShowException(E);
    } catch (...) {
      ShowException(Exception("Unknown error in a handed-over call"));
    }
  }
}

} // namespace

bool IsMainThread() {
  return std::this_thread::get_id() == MainThreadId;
}

bool CheckSynchronize() {
  if (!IsMainThread())
    return false;
  THandoff& H = Handoff();
  bool Any = false;
  // One at a time, so that a nested loop inside a call keeps the order.
  for (;;) {
    std::shared_ptr<TRequest> R;
    {
      std::lock_guard Guard(H.Lock);
      if (H.Pending.empty())
        break;
      R = H.Pending.front();
      H.Pending.pop_front();
    }
    Any = true;
    Run(R);
  }
  return Any;
}

void SetWakeMainThread(TWakeMainThread Hook) {
  THandoff& H = Handoff();
  {
    std::unique_lock Guard(H.HookLock);
    std::swap(H.Wake, Hook);
  }
  // The old hook goes outside the lock: whatever it owns may itself queue.
}

// --- TThread ----------------------------------------------------------------

TThread::TThread(bool CreateSuspended) {
  if (!CreateSuspended)
    Start();
}

TThread::~TThread() {
  Terminate();
  // A thread object freed on its own thread cannot wait for itself: the
  // thread is let go instead (its owner must not free it there; see
  // IsCurrentThread).
  if (IsCurrentThread()) {
    FHandle.detach();
    return;
  }
  WaitFor();
  if (FHandle.joinable())
    FHandle.join();
}

bool TThread::IsCurrentThread() const {
  std::lock_guard Guard(Handoff().Lock);
  return FStarted && FThreadId == std::this_thread::get_id();
}

void TThread::Start() {
  std::lock_guard Guard(Handoff().Lock);
  if (FStarted)
    return;
  // Started only once the thread exists: when the system cannot make one
  // (std::thread raises), the object stays unstarted, so its destructor does
  // not wait for an end that never comes. The new thread waits for this lock
  // before it looks at the object.
  FHandle = std::thread([this] { ThreadMain(); });
  FStarted = true;
}

void TThread::Terminate() {
  std::lock_guard Guard(Handoff().Lock);
  FTerminated = true;
}

bool TThread::Terminated() const {
  std::lock_guard Guard(Handoff().Lock);
  return FTerminated;
}

bool TThread::Started() const {
  std::lock_guard Guard(Handoff().Lock);
  return FStarted;
}

bool TThread::Finished() const {
  std::lock_guard Guard(Handoff().Lock);
  return FFinished;
}

std::exception_ptr TThread::FatalException() const {
  std::lock_guard Guard(Handoff().Lock);
  return FFinished ? FFatalException : nullptr;
}

std::chrono::nanoseconds TThread::CpuTime() const {
  std::lock_guard Guard(Handoff().Lock);
  return FCpuTime;
}

void TThread::SetPriority(TThreadPriority Value) {
  {
    std::lock_guard Guard(Handoff().Lock);
    FPriority = Value;
  }
  ApplyPriority();
}

void TThread::ApplyPriority() {
  int Id;
  TThreadPriority Value;
  {
    std::lock_guard Guard(Handoff().Lock);
    Id = FKernelId;
    Value = FPriority;
  }
  // Failing to raise it without privileges leaves it normal, which is all a
  // serial line needs.
  if (Id != 0)
    SetSystemThreadPriority(Id, Value);
}

void TThread::WaitFor() {
  THandoff& H = Handoff();
  std::unique_lock Guard(H.Lock);
  if (!FStarted || FFinished)
    return;
  if (FThreadId == std::this_thread::get_id())
    throw Exception("A thread cannot wait for its own end");
  if (!IsMainThread()) {
    H.ThreadEnded.wait(Guard, [&] { return FFinished; });
    return;
  }
  // Waiting from inside a call that this very thread handed over (closing the
  // port from a receive handler): its sender must be released first, or both
  // threads would wait for each other for ever.
  for (TRequest* R = Current; R; R = R->Outer)
    if (R->Sender == FThreadId && !R->Done)
      Release(*R);
  for (;;) {
    MainThreadWait(Guard, H.MainWake, [&] { return FFinished || !H.Pending.empty(); });
    if (FFinished)
      return;
    Guard.unlock();
    CheckSynchronize();
    Guard.lock();
  }
}

void TThread::ThreadMain() {
  {
    std::lock_guard Guard(Handoff().Lock);
    FKernelId = CurrentSystemThreadId();
    FThreadId = std::this_thread::get_id();
  }
  if (FPriority != tpNormal)
    ApplyPriority();
  std::exception_ptr Error;
  try {
    Execute();
  } catch (...) {
    Error = std::current_exception();
  }
  try {
    DoTerminate();
  } catch (...) {
    if (!Error)
      Error = std::current_exception();
  }
  const std::chrono::nanoseconds Used = CurrentThreadCpuTime();
  THandoff& H = Handoff();
  std::lock_guard Guard(H.Lock);
  FCpuTime = Used;
  FFatalException = Error;
  FFinished = true;
  H.MainWake.notify_all();
  NotifyMainThreadWait();
  H.ThreadEnded.notify_all();
}

void TThread::DoTerminate() {
  if (OnTerminate)
    Synchronize(OnTerminate);
}

void TThread::Synchronize(TThreadMethod Method) {
  if (IsMainThread()) {
    Method();
    return;
  }
  auto R = std::make_shared<TRequest>();
  R->Kind = TRequestKind::Sync;
  R->Method = std::move(Method);
  R->Sender = std::this_thread::get_id();
  Enqueue(R);
  AwaitDone(*R);
}

void TThread::Queue(TThreadMethod Method) {
  // Queued also on the main thread, so that it runs after the current work.
  auto R = std::make_shared<TRequest>();
  R->Kind = TRequestKind::Async;
  R->Method = std::move(Method);
  R->Sender = std::this_thread::get_id();
  Enqueue(std::move(R));
}

// --- Sent calls -------------------------------------------------------------

std::intptr_t ThreadHandoff::Send(TSendMethod Method) {
  if (IsMainThread())
    return Method();
  auto R = std::make_shared<TRequest>();
  R->Kind = TRequestKind::Send;
  R->SendMethod = std::move(Method);
  R->Sender = std::this_thread::get_id();
  Enqueue(R);
  AwaitDone(*R);
  std::lock_guard Guard(Handoff().Lock);
  return R->Value;
}

bool ThreadHandoff::InSend() {
  if (!Current || Current->Kind != TRequestKind::Send)
    return false;
  std::lock_guard Guard(Handoff().Lock);
  return !Current->Done;
}

bool ThreadHandoff::Reply(std::intptr_t Value) {
  if (!Current || Current->Kind != TRequestKind::Send)
    return false;
  std::lock_guard Guard(Handoff().Lock);
  if (Current->Done)
    return false;
  Current->Value = Value;
  Release(*Current);
  return true;
}
