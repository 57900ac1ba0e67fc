#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <thread>
#include <vector>

#include "runtime/core/allocator.h"
#include "runtime/core/critical_sections.h"

namespace {

// The handle is the record's address, and the record begins with the
// operating system's section: its owner shows whether an enter really took it.
const CRITICAL_SECTION& SectionOf(CriticalSectionHandle handle) {
  return *reinterpret_cast<const CRITICAL_SECTION*>(handle);
}

// Changes when a thread starts to wait for the section (Wine counts
// waiters up from 0, Windows down in steps of 4); read afresh every time.
LONG LockCountOf(CriticalSectionHandle handle) {
  return *static_cast<const volatile LONG*>(&SectionOf(handle).LockCount);
}

bool HeldByCaller(CriticalSectionHandle handle) {
  return reinterpret_cast<DWORD_PTR>(SectionOf(handle).OwningThread) == GetCurrentThreadId();
}

// A thread that enters a section, says so and leaves again.
class Contender {
 public:
  explicit Contender(CriticalSectionHandle handle)
      : entered_(CreateEventA(nullptr, TRUE, FALSE, nullptr)), thread_([this, handle] {
          CriticalSectionEnter(handle);
          SetEvent(entered_);
          CriticalSectionLeave(handle);
        }) {}
  ~Contender() {
    thread_.join();
    CloseHandle(entered_);
  }
  bool EnteredWithin(DWORD milliseconds) {
    return WaitForSingleObject(entered_, milliseconds) == WAIT_OBJECT_0;
  }

 private:
  HANDLE entered_;
  std::thread thread_;
};

constexpr DWORD kBlockedFor = 200;
constexpr DWORD kFreedWithin = 5000;

}  // namespace

TEST(CriticalSections, ZeroAndForeignHandlesAreIgnored) {
  CriticalSectionEnter(0);
  CriticalSectionLeave(0);
  CriticalSectionLeave(0);

  // A zero-filled heap block looks like a free section; entering it for real
  // would write its owner into it.
  void* foreign = RuntimeAlloc(sizeof(CRITICAL_SECTION) + 16);
  std::memset(foreign, 0, sizeof(CRITICAL_SECTION) + 16);
  const auto handle = reinterpret_cast<CriticalSectionHandle>(foreign);
  CriticalSectionEnter(handle);
  EXPECT_EQ(SectionOf(handle).OwningThread, nullptr);
  EXPECT_EQ(SectionOf(handle).RecursionCount, 0);
  CriticalSectionLeave(handle);
  RuntimeFree(foreign);

  // Nor is an address inside a real record.
  const CriticalSectionHandle real = CriticalSectionCreate();
  CriticalSectionEnter(real + 4);
  EXPECT_EQ(SectionOf(real).RecursionCount, 0);
}

TEST(CriticalSections, TwoSectionsExcludeIndependently) {
  const CriticalSectionHandle first = CriticalSectionCreate();
  const CriticalSectionHandle second = CriticalSectionCreate();
  ASSERT_NE(first, 0u);
  ASSERT_NE(second, 0u);
  ASSERT_NE(first, second);

  CriticalSectionEnter(first);
  ASSERT_TRUE(HeldByCaller(first));
  {
    Contender onSecond(second);
    EXPECT_TRUE(onSecond.EnteredWithin(kFreedWithin));
  }
  Contender onFirst(first);
  EXPECT_FALSE(onFirst.EnteredWithin(kBlockedFor));
  CriticalSectionLeave(first);
  EXPECT_TRUE(onFirst.EnteredWithin(kFreedWithin));
}

TEST(CriticalSections, OwnerEntersAgainAndMustLeaveTwice) {
  const CriticalSectionHandle handle = CriticalSectionCreate();
  CriticalSectionEnter(handle);
  CriticalSectionEnter(handle);  // would deadlock if sections were not recursive
  EXPECT_EQ(SectionOf(handle).RecursionCount, 2);
  CriticalSectionLeave(handle);

  Contender other(handle);
  EXPECT_FALSE(other.EnteredWithin(kBlockedFor));
  CriticalSectionLeave(handle);
  EXPECT_TRUE(other.EnteredWithin(kFreedWithin));
}

TEST(CriticalSections, SectionsCreatedOnManyThreadsAtOnceAllStayValid) {
  constexpr int kThreads = 8;
  constexpr int kPerThread = 300;
  std::vector<std::vector<CriticalSectionHandle>> made(kThreads);
  std::atomic<int> ready{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      ready.fetch_add(1);
      while (ready.load() < kThreads) {
      }
      for (int i = 0; i < kPerThread; ++i) made[t].push_back(CriticalSectionCreate());
    });
  }
  for (auto& thread : threads) thread.join();

  std::vector<CriticalSectionHandle> all;
  for (const auto& handles : made) all.insert(all.end(), handles.begin(), handles.end());
  int notEntered = 0;
  for (CriticalSectionHandle handle : all) {
    // A record lost from the registry would make this enter a silent no-op.
    CriticalSectionEnter(handle);
    if (!HeldByCaller(handle)) ++notEntered;
    CriticalSectionLeave(handle);
  }
  EXPECT_EQ(notEntered, 0);
  std::sort(all.begin(), all.end());
  EXPECT_EQ(std::adjacent_find(all.begin(), all.end()), all.end());
}

// Program end empties the registry but must not pull a section out from
// under a thread that holds or waits for it.  Run in a child process, since
// it ends every section of the process.
TEST(CriticalSectionsDeathTest, ShutdownLeavesSectionsInUseAloneAndIgnoresLaterCalls) {
  EXPECT_EXIT(
      {
        const CriticalSectionHandle held = CriticalSectionCreate();
        const CriticalSectionHandle idle = CriticalSectionCreate();
        HANDLE holding = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        HANDLE release = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        std::atomic<bool> waiterEntered{false};
        DWORD ownerId = 0;
        std::thread owner([&] {
          ownerId = GetCurrentThreadId();
          CriticalSectionEnter(held);
          SetEvent(holding);
          WaitForSingleObject(release, INFINITE);
          CriticalSectionLeave(held);  // after shutdown: ignored
        });
        WaitForSingleObject(holding, INFINITE);
        const LONG ownedOnly = LockCountOf(held);
        std::thread waiter([&] {
          CriticalSectionEnter(held);
          waiterEntered = true;
        });
        // The waiter is blocked inside its enter once the section counts it.
        const DWORD start = GetTickCount();
        while (LockCountOf(held) == ownedOnly && GetTickCount() - start < kFreedWithin) Sleep(1);
        const LONG withWaiter = LockCountOf(held);

        CriticalSectionsShutdown();
        SetEvent(release);
        owner.join();

        int failures = withWaiter == ownedOnly ? 16 : 0;
        // The held section was neither deleted nor released under its waiter:
        // the owner's leave was ignored, so it still counts its owner and its
        // waiter (a leave would have changed both before returning).
        if (reinterpret_cast<DWORD_PTR>(SectionOf(held).OwningThread) != ownerId) failures |= 1;
        if (waiterEntered || LockCountOf(held) != withWaiter) failures |= 2;
        // Later calls on either handle do nothing and do not block.
        CriticalSectionEnter(held);
        CriticalSectionEnter(idle);
        CriticalSectionLeave(idle);
        if (HeldByCaller(held)) failures |= 4;
        // New sections still work after program end began.
        const CriticalSectionHandle late = CriticalSectionCreate();
        CriticalSectionEnter(late);
        if (!HeldByCaller(late)) failures |= 8;
        waiter.detach();
        ExitProcess(static_cast<UINT>(failures));
      },
      testing::ExitedWithCode(0), "");
}
