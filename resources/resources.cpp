// The bundles are added to this library by qt_add_resources; this file only gives the
// library a translation unit of its own.
namespace dallowmere {
int resourcesLibraryAnchor()
{
    return 0;
}
} // namespace dallowmere
