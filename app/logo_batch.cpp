#include "app/logo_batch.h"

#include <string>

#include "data/name_value_list.h"
#include "platform/file_output.h"
#include "text/helpers.h"
#include "text/primitives.h"
#include "text/random.h"
#include "web/web_request.h"

namespace quillmark {
namespace {

constexpr const char* kCookieBeforeTemplate =
    "zitia=z134.ttf; miniziti=bmxy.ttf; txtcolor=444444; minicolor=666666; tu=";
constexpr const char* kCookieBeforeTitle =
    "; leixing=logo; down_a=logozw-2-118.png123z134.ttfbmxy.ttf444444666666; bianhao=214767; txt=";
constexpr const char* kCookieAfterTitle =
    "; mt_a=%B5%DA%C8%FD%B7%BD%D3%B0%D4%BAz134.ttfbmxy.ttf;went=logo%2Ft20200109%2F157857831928608.png; "
    "went_z=logo%2Ft20200109%2F157857831914565z.png; ";
// The five analytics cookies a browser on the service's pages carries, in
// their usual forms and lengths.
constexpr const char* kAnalyticsCookies =
    "__guid=137852287.3571409826148627456.1578578316812.562; "
    "UM_distinctid=16f8a3c4d2e5b-0a1b2c3d4e5f67-4c6d7e8f-1fa40-16f8a3c4d2f6c1; "
    "Hm_lvt_9f3b5e2a7c1d4f6e8a0b2c4d6e8f0a1b=1578577853,1578578019,1578578247,1578578316; "
    "CNZZDATA1278246=cnzz_eid%3D926433135-1578574532-null%26ntime%3D1578578316; "
    "Hm_lpvt_9f3b5e2a7c1d4f6e8a0b2c4d6e8f0a1b=1578578316";
constexpr const char* kCookieEnd = "; monitor_count=3";

Text outputFileName(int n) {
  // Without a readable working directory the name stays relative, so the
  // file never lands in the root folder by accident.
  const std::string folder = platform::currentDirectory();
  const Text file = concatText(toText(n), Text(".png"));
  if (folder.empty()) return file;
  return concatText(Text(folder), Text(folder == "/" ? "" : "/"), file);
}

}  // namespace

Text LogoService::imageUrl() const {
  return concatText(Text("http://"), host, Text("/logoa/logo_img_sc.php"));
}

Text LogoService::refererUrl() const {
  return concatText(Text("http://"), host, Text("/logoa/wenzi.php"));
}

Text logoCookieText(const Text& templateName, const Text& title) {
  return concatText(Text(kCookieBeforeTemplate), templateName, Text(kCookieBeforeTitle), title,
                    Text(kCookieAfterTitle), Text(kAnalyticsCookies), Text(kCookieEnd));
}

void addLogoRequestHeaders(NameValueList& headers, const LogoService& service) {
  headers.add(Text("Accept"),
              Text("text/html,application/xhtml+xml,application/xml;q=0.9,image/webp,image/apng,*/*;q=0.8"));
  headers.add(Text("Accept-Language"), Text("zh-CN,zh;q=0.9"));
  headers.add(Text("Connection"), Text("keep-alive"));
  headers.add(Text("Host"), service.host);
  headers.add(Text("Referer"), service.refererUrl());
  headers.add(Text("Upgrade-Insecure-Requests"), Text("1"));
  headers.add(Text("User-Agent"),
              Text("Mozilla/5.0 (Windows NT 10.0; WOW64) AppleWebKit/537.36 (KHTML, like Gecko) "
                   "Chrome/63.0.3239.132 Safari/537.36"));
}

LogoBatchResult runLogoBatch(WindowOperations& window, const LogoService& service) {
  LogoBatchResult result;
  result.folder = platform::currentDirectory();
  NameValueList headerList;
  const int titleCount = countLines(window.readEditText(EditBox::Titles));
  result.passes = titleCount;
  const Text url = service.imageUrl();
  for (int n = 1; n <= titleCount; ++n) {
    const int count = countLines(window.readEditText(EditBox::Templates));
    const int m = toInt(randomInRange(1, count));
    const Text templateName = lineAt(window.readEditText(EditBox::Templates), m);
    const Text title = lineAt(window.readEditText(EditBox::Titles), n);

    window.writeCaption(title);
    Text cookieText = logoCookieText(templateName, window.readCaption());

    addLogoRequestHeaders(headerList, service);
    Text headerBlock = headerList.toHeaderBlock(false);

    // The pass result goes to the window as it is: a large body is held once.
    ByteBuffer passResult = webRequest(url, {.cookies = &cookieText, .headers = &headerBlock});
    window.writePicture(std::move(passResult));

    const Text fileName = outputFileName(n);
    const ByteBuffer picture = window.readPicture();
    const platform::FileWriteResult written = platform::writeFileExclusively(fileName.bytes(), picture.view());
    if (picture.view().empty()) {
      ++result.empty;
    } else if (written == platform::FileWriteResult::Written) {
      ++result.saved;
    } else {
      ++result.notSaved;
    }
  }
  return result;
}

}  // namespace quillmark
