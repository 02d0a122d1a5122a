#pragma once
// The interface through which a bitmap list talks to the controls that show its images.
// A client attaches itself with SetBitmapList(list) (unregistering from its old list and
// registering with the new one) and must detach itself, with SetBitmapList(nullptr),
// before it is destroyed; a list that is destroyed first detaches every client itself.
#include <string>
#include <vector>

class TBitmapList;

class IBitmapListClient {
public:
    // Appends the names of the images the client shows.
    virtual void GetImageNames(std::vector<std::string>& list) = 0;
    // A slot the list never calls; clients may leave it empty.
    virtual void Reserved() {}
    // Repaint request: an image the client shows has changed.
    virtual void Invalidate() = 0;
    virtual void SetBitmapList(TBitmapList* list) = 0;
    virtual TBitmapList* GetBitmapList() = 0;

protected:
    ~IBitmapListClient() = default;
};
