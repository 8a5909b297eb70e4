#include "utils/http/ftphelper.h"

#include <vector>

#include "utils/text/stringhelper.h"

namespace {

void SetReport(CString *report, LPCWSTR text) {
  if (report) *report = text;
}

template <typename... Args>
void AppendReport(CString *report, LPCWSTR format, const Args &...args) {
  if (report) report->AppendFormat(format, args...);
}

// Moves to remoteDir; when that folder is missing, walks its parts from the
// root, creating each missing one. FALSE when a folder cannot be reached.
BOOL EnterFolder(CFtpConnection &ftp, CString remoteDir, CString *report) {
  if (ftp.SetCurrentDirectory(remoteDir)) {
    ftp.GetCurrentDirectory(remoteDir);
    AppendReport(report, L"转到当前目录 %s 成功．\r\n\r\n", remoteDir.GetString());
    return TRUE;
  }
  std::vector<CString> parts;
  SplitString(remoteDir, L"/", parts, FALSE);
  CString path;
  for (const CString &part : parts) {
    path += L"/";
    path += part;
    if (!ftp.SetCurrentDirectory(path)) {
      // Created by its path from the root, where the walk moves next.
      LPCWSTR result = ftp.CreateDirectory(path) ? L"成功" : L"失败";
      AppendReport(report, L"创建目录 %s/%s %s．\r\n\r\n", remoteDir.GetString(), part.GetString(), result);
      ftp.GetCurrentDirectory(remoteDir);
      if (!ftp.SetCurrentDirectory(path)) return FALSE;
    } else {
      ftp.GetCurrentDirectory(remoteDir);
    }
    AppendReport(report, L"转到当前目录 %s 成功．\r\n\r\n", path.GetString());
  }
  return TRUE;
}

}  // namespace

BOOL FtpTransfer(CFtpConnection *connection, BOOL closeAfter, CString server, CString user, CString password,
                 CString remoteDir, CString remoteFile, CString localFile, BOOL upload, CString *report) {
  CInternetSession session;
  if (!connection) {
    try {
      connection = session.GetFtpConnection(server, user, password);
    } catch (const CInternetException &) {
      connection = nullptr;
    }
    if (!connection) {
      SetReport(report, L"连接FTP出错．\r\n\r\n");
      return FALSE;
    }
  }
  SetReport(report, L"连接FTP成功．\r\n\r\n");

  if (!remoteDir.IsEmpty() && !EnterFolder(*connection, remoteDir, report)) return FALSE;

  if (!localFile.IsEmpty() && !remoteFile.IsEmpty()) {
    if (!upload) {
      AppendReport(report, L"下载文件 %s 中...\r\n\r\n", remoteFile.GetString());
      if (!connection->GetFile(remoteFile, localFile, TRUE, FILE_ATTRIBUTE_NORMAL, FTP_TRANSFER_TYPE_BINARY, 1)) {
        AppendReport(report, L"下载文件 %s 失败．\r\n\r\n", remoteFile.GetString());
        return FALSE;
      }
      AppendReport(report, L"下载文件 %s 成功．\r\n\r\n", remoteFile.GetString());
    } else {
      AppendReport(report, L"上传文件 %s 中...\r\n\r\n", localFile.GetString());
      if (!connection->PutFile(localFile, remoteFile, FTP_TRANSFER_TYPE_BINARY, 1)) {
        AppendReport(report, L"上传文件 %s 失败．\r\n\r\n", localFile.GetString());
        return FALSE;
      }
      AppendReport(report, L"上传文件 %s 成功．\r\n\r\n", localFile.GetString());
    }
  }

  if (closeAfter) {
    connection->Close();
    delete connection;
    session.Close();
    SetReport(report, L"退出FTP．\r\n\r\n");
  }
  return TRUE;
}

bool FtpTransferOnce(CString server, CString user, CString password, CString remoteDir, CString remoteFile,
                     CString localFile, BOOL download) {
  CInternetSession session;
  CFtpConnection *connection = session.GetFtpConnection(server, user, password);
  if (!connection) return false;
  if (!remoteDir.IsEmpty()) {
    // Transferring in another folder than the one asked for would be wrong.
    if (!connection->SetCurrentDirectory(remoteDir)) return false;
    connection->GetCurrentDirectory(remoteDir);
  }
  if (!localFile.IsEmpty() && !remoteFile.IsEmpty()) {
    const BOOL ok =
        download ? connection->GetFile(remoteFile, localFile, TRUE, FILE_ATTRIBUTE_NORMAL, FTP_TRANSFER_TYPE_BINARY, 1)
                 : connection->PutFile(localFile, remoteFile, FTP_TRANSFER_TYPE_BINARY, 1);
    if (!ok) return false;
  }
  connection->Close();
  session.Close();
  return true;
}
