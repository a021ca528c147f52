SELECT '-GO-' -- -GO-
-GO