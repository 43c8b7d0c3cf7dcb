// Where the minimised window draws its icon: centred in the client area,
// with signed integer division that truncates toward zero.
#pragma once

struct IconOrigin {
  int x, y;
};

inline IconOrigin CentreIcon(int clientWidth, int clientHeight, int iconWidth, int iconHeight) {
  return {(clientWidth - iconWidth + 1) / 2, (clientHeight - iconHeight + 1) / 2};
}
