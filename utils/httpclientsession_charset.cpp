// Character-set detection of a response for GetResponseText.
#include "utils/charsetdetect.h"
#include "utils/httpclientsession.h"

namespace pcutil {

CString CHttpClientSession::DetectCharset() const {
  return DetectCharsetName(m_pResponseHeaders->GetRawHeaders().get(), m_strResponseBody);
}

}  // namespace pcutil
