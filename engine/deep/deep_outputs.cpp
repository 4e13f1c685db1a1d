#include "deep/deep_outputs.h"

#include "deep/automatic_colouring.h"

namespace mandel {

DeepPictureResult drawDeepOutputs(DeepDrawing& drawing, const DeepPictureFacts& givenFacts,
                                  const DeepOutputPaths& paths, const DeepPictureOptions& givenOptions) {
    DeepPictureOptions options = givenOptions;
    options.colouring = resolvedColouring(drawing, options.colouring, options.compute);
    DeepPictureFacts facts = givenFacts;
    facts.colouring = options.colouring;
    const int width = facts.view.width, height = facts.view.height;
    std::vector<std::unique_ptr<PictureSink>> pictures;
    if (paths.png) pictures.push_back(openDeepPictureFile(*paths.png, PictureFormat::Png, facts));
    if (paths.bmp) pictures.push_back(openDeepPictureFile(*paths.bmp, PictureFormat::Bmp, facts));
    std::unique_ptr<CountMapWriter> countMap;
    if (paths.counts) countMap = std::make_unique<CountMapWriter>(*paths.counts, width, height);
    std::unique_ptr<FlagMapWriter> flagMap;
    if (paths.flags) flagMap = std::make_unique<FlagMapWriter>(*paths.flags, width, height);

    std::unique_ptr<FloatMapWriter> smoothMap;
    if (paths.smooth) smoothMap = std::make_unique<FloatMapWriter>(*paths.smooth, width, height, "smooth map");
    std::unique_ptr<FloatMapWriter> distanceMap;
    if (paths.distance) distanceMap = std::make_unique<FloatMapWriter>(*paths.distance, width, height, "distance map");

    std::vector<PictureSink*> pictureSinks;
    for (const auto& picture : pictures) pictureSinks.push_back(picture.get());
    std::vector<CountSink*> countSinks;
    if (countMap) countSinks.push_back(countMap.get());
    std::vector<FlagSink*> flagSinks;
    if (flagMap) flagSinks.push_back(flagMap.get());
    std::vector<FloatMapSink*> smoothSinks;
    if (smoothMap) smoothSinks.push_back(smoothMap.get());
    std::vector<FloatMapSink*> distanceSinks;
    if (distanceMap) distanceSinks.push_back(distanceMap.get());
    return drawDeepPicture(drawing, pictureSinks, countSinks, options, flagSinks, smoothSinks, distanceSinks);
}

}  // namespace mandel
