// quavix-cli commands that draw: bitmap and PNG export.
#pragma once

#include <string>

// convert X.q5s Y.bmp|Y.png: opens the score as a document and draws it as
// the bitmap export does.
int CmdConvertToImage(const std::string& in, const std::string& out);
