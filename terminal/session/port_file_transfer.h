#pragma once
// A port's file transfers as the port's threads run them: the Receive ASCII and Send ASCII
// procedures, each on a short thread of its own so the port thread never waits for the user,
// and the workers' parts (a received block into the receive file, a chunk of the send file out
// through the port's transport). A write that fails is reported and never counted as done, and
// a file that was not sent whole is never announced as sent.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "terminal/session/port_workers.h"

#ifndef _WIN32
constexpr UINT MB_TOPMOST = 0x00040000u;
#endif

// Runs `task` on a detached short thread, counted so that tests and the program's exit can
// wait for every such thread; the task holds its own share of what it uses. Its prompts belong
// to the calling thread's prompt owner.
void RunTransferThread(std::function<void()> task);
// False after `milliseconds` with a transfer thread still running.
bool WaitForTransferThreads(unsigned long milliseconds);

// Receive ASCII file: opens a receive file after the file dialog, or asks whether to stop the
// one that is open. `caption` is the port's error caption.
void ReceiveFileProcedure(const std::shared_ptr<PortShared>& shared, const std::string& caption);
// Send ASCII file: refused while the test pattern is sent; opens a send file after the file
// dialog, or asks whether to stop the one being sent. A socket port (`socketPort`) announces
// the end after the time the bytes would take at 9600 bit/s, with their count as caption.
void SendFileProcedure(const std::shared_ptr<PortShared>& shared, const std::string& caption,
                       bool socketPort);

// The close of a port with transfer files open: asks, each on a short thread of its own,
// whether to stop them, and does not wait for the answers. A file kept open stays with the
// port: a send file goes on where it was when the port is opened again.
void AskToStopTransfers(const std::shared_ptr<PortShared>& shared, const std::string& caption);

// The receive worker's hand-over of a block while a receive file is open. True when the file
// took the block (it has been shown too when the user asked for that); false when the block
// must go to the display as usual: no file is open, or the write failed, which closes the
// file, keeps what it held and says so once.
bool ReceiveIntoFile(PortShared& shared, const char* block, std::size_t length);
// The send worker's cycle while a send file is open: one chunk out, and at the end the notice.
void SendFileChunk(PortShared& shared, std::uint32_t generation);
