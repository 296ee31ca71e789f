#pragma once

#include <chrono>
#include <cstdint>
#include <exception>
#include <functional>
#include <thread>

// Threads of the program and the handoff of calls to the main thread.
//
// The main thread is the one that started the program (it runs the static
// initialisers). A background thread hands work to it with Synchronize, which
// blocks until the main thread has run the call, or with Queue, which does
// not wait. The main thread runs the calls in CheckSynchronize. Queuing a call
// invokes the wake hook (SetWakeMainThread), which the application points at
// its event loop so that CheckSynchronize runs soon; a program without an
// event loop of its own uses TMainLoop.

using TThreadMethod = std::function<void()>;

enum TThreadPriority : unsigned char {
  tpIdle,
  tpLowest,
  tpLower,
  tpNormal,
  tpHigher,
  tpHighest,
  tpTimeCritical
};

class TThread {
public:
  // The thread is created suspended when CreateSuspended is true and runs
  // Execute only after Start; otherwise Start is called at once. A derived
  // class whose constructor still has work to do passes true.
  explicit TThread(bool CreateSuspended);
  // Terminates and waits for the thread. On the main thread the wait keeps
  // running queued handoffs, so a thread blocked in Synchronize can finish.
  virtual ~TThread();
  TThread(const TThread&) = delete;
  TThread& operator=(const TThread&) = delete;

  void Start();
  // Sets the terminate flag; Execute decides when to look at it.
  void Terminate();
  // Blocks until Execute has returned (running handoffs on the main thread).
  void WaitFor();

  bool Terminated() const;
  bool Started() const;
  bool Finished() const;
  // True when called on this object's own thread (while Execute runs). Such
  // a caller must neither wait for the thread nor free the object.
  bool IsCurrentThread() const;

  // Applied when the thread starts (and at once on a running thread). Raising
  // the priority above normal needs privileges; without them it stays normal.
  void SetPriority(TThreadPriority Value);
  TThreadPriority Priority() const { return FPriority; }

  // The exception that escaped Execute, if one did; valid once Finished.
  std::exception_ptr FatalException() const;
  // The processor time the thread used, taken when Execute has returned
  // (zero before); valid once Finished.
  std::chrono::nanoseconds CpuTime() const;

  // Called on the main thread (through Synchronize) after Execute returns.
  TThreadMethod OnTerminate;

  // Runs Method on the main thread and waits until it has run. An exception it
  // raises there is raised again here. On the main thread Method runs at once.
  static void Synchronize(TThreadMethod Method);
  // Hands Method to the main thread without waiting for it.
  static void Queue(TThreadMethod Method);

protected:
  virtual void Execute() = 0;
  // The termination notification: fires OnTerminate on the main thread.
  virtual void DoTerminate();

private:
  void ThreadMain();
  void ApplyPriority();

  // The flags are guarded by the handoff lock, so that a main thread waiting
  // for the end of a thread also sees newly queued handoffs.
  std::thread FHandle;
  bool FStarted = false;
  bool FFinished = false;
  bool FTerminated = false;
  TThreadPriority FPriority = tpNormal;
  int FKernelId = 0;         // the system's id of the thread, once it runs
  std::thread::id FThreadId; // set by the thread itself when it starts
  std::exception_ptr FFatalException;
  std::chrono::nanoseconds FCpuTime{0};
};

// True on the thread that started the program.
bool IsMainThread();

// Runs the handoffs queued for the main thread, oldest first, and returns true
// when it ran at least one. Does nothing off the main thread. Re-entrant: a
// handed-off call that runs a nested loop may process later handoffs.
bool CheckSynchronize();

// Called (on the queuing thread) every time a handoff is queued. The
// application makes it post a call of CheckSynchronize into its event loop.
// Replacing or clearing the hook waits until every call of the old one has
// returned, so its owner may go as soon as SetWakeMainThread returns. The
// hook must not set the hook itself.
using TWakeMainThread = std::function<void()>;
void SetWakeMainThread(TWakeMainThread Hook);

// The message windows' side of the handoff (MessageWindow.h): a call sent from
// another thread whose sender can be released by Reply before the call ends.
namespace ThreadHandoff {
using TSendMethod = std::function<std::intptr_t()>;
// Runs Method on the main thread and blocks until it returns (giving its
// result) or replies (giving the reply's value). On the main thread Method
// runs at once. An exception from Method before the reply is raised here; one
// after the reply goes to the exception display on the main thread.
std::intptr_t Send(TSendMethod Method);
// True while the main thread runs a call that Send handed over and whose
// sender still waits.
bool InSend();
// Releases the sender of the call being run with Value; false when no sender
// waits (already replied, or the call was not sent).
bool Reply(std::intptr_t Value);
} // namespace ThreadHandoff
