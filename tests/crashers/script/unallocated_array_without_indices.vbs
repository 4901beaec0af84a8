Dim a(3), m(2, 2), d(), x, parts
a(0), d(), x: a(3) = A