// The project's web page and the seam that opens it in the user's browser.
#pragma once

#include <string>

namespace trimora {

// The page behind the window's link. A bare page name is a page shipped beside the program (the
// usage page until the project has a public home); an address with a scheme is used as it is.
inline constexpr const char* kWebPageAddress = "usage.html";
// What the window's link shows: the page's own title.
inline constexpr const char* kWebPageTitle = "Trimoraの使い方";

class WebOpener {
 public:
  virtual ~WebOpener() = default;
  virtual void Open(const std::string& address) = 0;  // failures are ignored
};

// The address to hand to the opener: kept when it has a scheme ("https://..."), else a file URL
// naming the page found for the running program (PagePath). Without a way to find the program
// the address comes back unchanged.
std::string ResolveWebPageAddress(const std::string& address);

// Where a page shipped with the program at program_path (an absolute path) lies: beside the
// program, as in the build tree, else in the installed documentation folder
// (bin/../share/doc/trimora); when neither holds it, beside the program.
std::string PagePath(const std::string& program_path, const std::string& page);

// "file://" URL of page in the folder of program_path (an absolute path), with every byte
// outside the URL's plain characters percent-encoded.
std::string FileUrlBeside(const std::string& program_path, const std::string& page);

}  // namespace trimora
