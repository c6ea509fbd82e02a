#pragma once

#include "net/WSMessages.h"
#include "platform/MessageIds.h"

namespace qlm {

// The message numbers of the crawl layer, all in this one table: the status view, the download
// manager and its download objects, and the worker thread exchange them. Two are the net layer's
// own messages under the crawl's names, as the download manager and the notify window receive them.
enum CrawlMessage : unsigned {
  // Posted to the notify window (the download status view).
  kMsgHandling = WM_USER + 16,       // a URL handled without a download; payload: the URL
  kMsgObjInterval = WM_USER + 17,    // a download object waits for the access interval
  kMsgObjContacting = WM_USER + 18,  // ... connects
  kMsgObjConnected = WM_USER + 19,   // ... is connected
  kMsgObjLength = WM_USER + 20,      // ... knows the content length
  kMsgObjProgress = WM_USER + 21,    // ... received body bytes
  kMsgObjReleased = WM_USER + 22,    // ... is done ("Complete" or "Failed")
  kMsgDetected = WM_USER + 23,       // one record queued
  kMsgRetry = WM_USER + 24,          // one retry
  kMsgVisited = WM_USER + 25,        // one record done
  kMsgFailed = WM_USER + 26,         // one record failed
  kMsgLocalize = WM_USER + 27,       // one page added to the localize queue
  kMsgModified = WM_USER + 28,       // one page localised
  // Payload: the new download manager's window (posted by the network worker).
  kMsgManagerCreated = WM_WS_MANAGER_CREATED,
  kMsgPatrolEnded = WM_USER + 30,  // the patrol (or saved-data operation) has ended
  // The mirror's file system could not take a body (wParam: the errno value, ENOSPC when it is
  // full): the patrol stops in order, and kMsgPatrolEnded follows.
  kMsgMirrorWriteFailed = WM_USER + 51,
  // Records of the queue files that could not be read were let go of (wParam: how many); posted
  // just before kMsgPatrolEnded.
  kMsgQueueRecordsSkipped = WM_USER + 52,

  // Received by the download manager.
  kMsgDialResult = WM_RAS_NOTICE,  // the line manager's answer to the manager's Dial
  kMsgStart = WM_USER + 34,
  kMsgStop = WM_USER + 35,
  kMsgNext = WM_USER + 36,
  kMsgRobotsDone = WM_USER + 37,
  kMsgDownloadDone = WM_USER + 39,
  kMsgFreeBlock = WM_USER + 40,
  kMsgReleased = WM_USER + 41,
  kMsgNextLocalize = WM_USER + 42,
  kMsgIgnored = WM_USER + 43,
  // A sync of the mirror's file system ended (MirrorCheckpoint); wParam: 0 or the errno value.
  kMsgSynced = WM_USER + 50,
  // The saved-data operations: the request, then one message per step.
  kMsgSavedDataStart = WM_USER + 44,  // payload: the request
  kMsgCollectUrl = WM_USER + 45,
  kMsgOperateUrl = WM_USER + 46,
  kMsgCollectFolder = WM_USER + 47,
  kMsgOperateFolder = WM_USER + 48,
};

}  // namespace qlm
