// Character-set detection of a response for GetResponseText.
#include "utils/http/detail/charsetdetect.h"
#include "utils/http/httpclientsession.h"

namespace pcutil {

CString CHttpClientSession::DetectCharset() const {
  return DetectCharsetName(m_pResponseHeaders->GetRawHeaders().get(), m_strResponseBody);
}

}  // namespace pcutil
