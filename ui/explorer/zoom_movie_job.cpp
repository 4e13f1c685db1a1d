#include "zoom_movie_job.h"

#include <sstream>

#include "deep/deep_picture_file.h"
#include "zoom_keyframes.h"
#include "zoom_movie.h"

namespace mandel_ui {

void runZoomMovieJob(const ZoomMovieJob& job, const std::atomic<bool>& cancel, const ZoomMovieProgress& progress) {
    mandel::tool::KeyframeOptions keyframes;
    keyframes.outDir = job.keyframesDir;
    keyframes.render.view = mandel::toDeepView(job.from, job.width, job.height);
    keyframes.render.view.location.limit = job.from.limit;
    const mandel::DeepLocation& deepest = keyframes.render.view.location;
    // As the command line would record the same zoom.
    keyframes.recorded = {"--size",        mandel::pictureSizeText(job.width, job.height),
                          deepest.realMin, deepest.imagMin,
                          deepest.side,    std::to_string(deepest.limit)};
    mandel::tool::KeyframesControl control;
    control.cancel = &cancel;
    control.progress = [&](int done, int total) { progress(ZoomMoviePhase::Keyframes, done, total); };
    std::ostringstream notes;  // a damaged reference file's note: the window has no use for it
    mandel::tool::renderKeyframes(keyframes, notes, false, control);

    mandel::tool::MovieOptions movie;
    movie.dir = job.keyframesDir;
    movie.fps = job.fps;
    movie.seconds = job.seconds;
    movie.outPath = job.moviePath;
    mandel::tool::makeMovie(movie, &cancel,
                            [&](int done, int total) { progress(ZoomMoviePhase::Frames, done, total); });
}

}  // namespace mandel_ui
