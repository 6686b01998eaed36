// The pictures of the toolbox and of the play button, painted here at any size.
#pragma once

#include "view/Control.h"

#include <QPixmap>

namespace vako {

QPixmap paintPicture(PictureId id, int sizePx, double devicePixelRatio);

} // namespace vako
