// The Cookie text the tool sends for one logo, built piece by piece the way
// its batch job builds it, with made-up analytics values of the right forms.
#pragma once

#include <string>
#include <string_view>

namespace quillmark::service::testing {

inline std::string toolCookieText(std::string_view templateName, std::string_view titleGbk) {
  std::string cookie = "zitia=z134.ttf; miniziti=bmxy.ttf; txtcolor=444444; minicolor=666666; tu=";
  cookie += templateName;
  cookie += "; leixing=logo; down_a=logozw-2-118.png123z134.ttfbmxy.ttf444444666666; bianhao=214767; txt=";
  cookie += titleGbk;
  cookie +=
      "; mt_a=%B5%DA%C8%FD%B7%BD%D3%B0%D4%BAz134.ttfbmxy.ttf;went=logo%2Ft20200109%2F157857831928608.png;"
      " went_z=logo%2Ft20200109%2F157857831914565z.png; ";
  cookie += "__guid=123456789.1234567890123456789.1234567890123.123; ";
  cookie += "UM_distinctid=16f8a1b2c3d4e-0a1b2c3d4e5f60-4c3d2b1a-1fa40-16f8a1b2c3d4ef; ";
  cookie += "Hm_lvt_0123456789abcdef0123456789abcdef=1578578319,1578578320,1578578321,1578578322; ";
  cookie += "CNZZDATA1234567=cnzz_eid%3D123456789-1578578319-null%26ntime%3D1578578319; ";
  cookie += "Hm_lpvt_0123456789abcdef0123456789abcdef=1578578322";
  cookie += "; monitor_count=3";
  return cookie;
}

}  // namespace quillmark::service::testing
