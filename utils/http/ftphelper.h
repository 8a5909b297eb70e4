// Transfers of one file over FTP after moving to a remote folder.
#pragma once

#include "platform/inet/ftpsession.h"
#include "platform/text/cstring.h"

// Uploads (upload TRUE: localFile to remoteFile) or downloads (remoteFile into
// localFile, which must not exist yet) one file in remoteDir, creating the
// missing folders of remoteDir from the root on the way. Uses `connection`
// when given, else connects to `server` with `user` and `password`; a
// connection made here ends with the call. With closeAfter the connection is
// closed and deleted at the end. No transfer is tried when either file name
// is empty.
//
// Each step is reported in `*report` (when not null) as a Chinese line ending
// in "\r\n\r\n": connecting sets the report, folder moves, folder creations
// and the transfer append to it, closing sets it to the closing line alone.
// FALSE when no connection can be made, a folder of remoteDir cannot be
// reached, or the transfer fails.
BOOL FtpTransfer(CFtpConnection *connection, BOOL closeAfter, CString server, CString user, CString password,
                 CString remoteDir, CString remoteFile, CString localFile, BOOL upload, CString *report);

// Connects to `server`, moves to remoteDir when given and downloads (download
// TRUE) or uploads one file as FtpTransfer does, then closes. false when the
// folder cannot be reached or the transfer fails; a failed connection throws
// CInternetException.
bool FtpTransferOnce(CString server, CString user, CString password, CString remoteDir, CString remoteFile,
                     CString localFile, BOOL download);
