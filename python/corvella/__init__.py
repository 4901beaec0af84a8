"""The Corvella image component for Python.

corvella.Pictron() is the component's object with every member under its own name: properties
as attributes (p.FontSize = 14), methods as methods; in/out parameters that carry a result come
back (w, h = p.Resample(200, 0)). OpenBinary takes bytes, bytearray or memoryview; SaveBinary()
returns bytes. A failing member raises corvella.Error with number, source and description.
p.to_numpy() and corvella.from_numpy(array) exchange the working image with numpy.
python3 -m corvella.batch converts many files on a Dask cluster.
"""

from corvella._error import Error
from corvella._corvella import Pictron, from_numpy, __version__

__all__ = ["Error", "Pictron", "from_numpy", "__version__"]
